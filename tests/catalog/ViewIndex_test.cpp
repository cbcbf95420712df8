// SPDX-License-Identifier: GPL-3.0-or-later
// The ordered slot sequence behind a view, checked against a plain vector under random changes,
// with slot numbers dense and spread far apart (a small view of a large table).

#include "catalog/ViewIndex.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

namespace oru {
namespace {

TEST(ViewIndexTest, MatchesAPlainSortedVectorUnderRandomChanges) {
    for (const uint32_t spread : {1u, 100u}) {
        SCOPED_TRACE("slot numbers " + std::to_string(spread) + " apart");
        std::mt19937 rng(11);
        std::unordered_map<uint32_t, int> key;  // sort key of each slot; many equal keys
        auto less = [&](uint32_t a, uint32_t b) { return key[a] < key[b]; };
        std::vector<uint32_t> model;
        ViewIndex view;
        uint32_t nextSlot = 1;
        auto newSlot = [&] {
            const uint32_t slot = nextSlot;
            nextSlot += spread;
            return slot;
        };
        for (int step = 0; step < 20000; ++step) {
            unsigned op = rng() % 10;
            if (op < 5 || model.empty()) {
                uint32_t slot = newSlot();
                key[slot] = static_cast<int>(rng() % 50);
                auto at = std::upper_bound(model.begin(), model.end(), slot, less);
                int expected = static_cast<int>(at - model.begin());
                model.insert(at, slot);
                ASSERT_EQ(view.insertSorted(slot, less), expected);
            } else if (op < 8) {
                size_t i = rng() % model.size();
                uint32_t slot = model[i];
                model.erase(model.begin() + static_cast<long>(i));
                ASSERT_EQ(view.erase(slot), static_cast<int>(i));
                ASSERT_FALSE(view.contains(slot));
            } else if (op < 9) {
                size_t i = rng() % model.size();
                uint32_t slot = newSlot();
                key[slot] = key[model[i]];
                view.replace(model[i], slot);
                model[i] = slot;
            } else {
                size_t i = rng() % model.size();
                ASSERT_EQ(view.at(static_cast<int>(i)), model[i]);
                ASSERT_EQ(view.indexOf(model[i]), static_cast<int>(i));
            }
            ASSERT_EQ(view.size(), static_cast<int>(model.size()));
            if (step % 2000 == 0) {
                ASSERT_EQ(view.toVector(), model);
                ViewIndex copy;
                copy.assign(model);  // rebuilt in linear time, then changed like the original
                ASSERT_EQ(copy.toVector(), model);
                for (size_t i = 0; i < model.size(); i += 97) ASSERT_EQ(copy.indexOf(model[i]), static_cast<int>(i));
                view = copy;
            }
        }
        EXPECT_EQ(view.toVector(), model);
        EXPECT_EQ(view.erase(nextSlot), -1);
        EXPECT_EQ(view.indexOf(nextSlot), -1);
    }
}

}  // namespace
}  // namespace oru
