// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The ordered sequence of slot numbers behind one cursor's view. A randomized balanced search
// tree (treap) with subtree sizes and parent links, plus a map from slot number to tree node, so
// that inserting at a sorted place, erasing a slot, finding a slot's position and reading the
// slot at a position all take logarithmic time. A slot appears at most once. The map is a table
// indexed by slot number, or a hash map for a view assigned few slots out of a large table (a
// folder's rows), so that building a small view costs nothing in the size of the table.

#include <cstdint>
#include <unordered_map>
#include <vector>

namespace oru {

class ViewIndex {
public:
    int size() const { return root_ < 0 ? 0 : nodes_[root_].size; }
    bool empty() const { return root_ < 0; }
    void clear();

    // Replaces the content by slots, in the given order. Linear time.
    void assign(const std::vector<uint32_t>& slots);
    std::vector<uint32_t> toVector() const;

    // The slot at 0-based position index; index must be inside 0..size()-1.
    uint32_t at(int index) const;
    bool contains(uint32_t slot) const { return nodeOf(slot) >= 0; }
    // 0-based position of slot, or -1 when the view does not hold it.
    int indexOf(uint32_t slot) const;

    // Inserts slot behind every element e with !less(slot, e) - that is, at the upper bound
    // of slot among elements sorted by less - and returns its position.
    template <class Less>
    int insertSorted(uint32_t slot, Less&& less);
    // Removes slot and returns the position it had, or -1 when it was not there.
    int erase(uint32_t slot);
    // Puts newSlot in oldSlot's place (oldSlot must be present, newSlot absent).
    void replace(uint32_t oldSlot, uint32_t newSlot);

private:
    struct Node {
        uint32_t slot = 0;
        uint32_t priority = 0;
        int left = -1, right = -1, parent = -1;
        int size = 1;
    };

    int nodeOf(uint32_t slot) const {
        if (sparse_) {
            auto it = sparseNode_.find(slot);
            return it == sparseNode_.end() ? -1 : it->second;
        }
        return slot < slotNode_.size() ? slotNode_[slot] : -1;
    }
    void setNodeOf(uint32_t slot, int node);
    int newNode(uint32_t slot);
    void freeNode(int node);
    uint32_t nextPriority();
    int sizeOf(int node) const { return node < 0 ? 0 : nodes_[node].size; }
    void update(int node) { nodes_[node].size = 1 + sizeOf(nodes_[node].left) + sizeOf(nodes_[node].right); }
    void rotateUp(int node);  // node takes its parent's place
    void insertAt(int parent, bool asLeft, int node);

    std::vector<Node> nodes_;
    std::vector<int> free_;
    std::vector<int> slotNode_;  // node of each slot number, -1 when absent (not sparse_)
    std::unordered_map<uint32_t, int> sparseNode_;  // node of each slot present (sparse_)
    bool sparse_ = false;
    int root_ = -1;
    uint32_t seed_ = 0x9E3779B9u;
};

template <class Less>
int ViewIndex::insertSorted(uint32_t slot, Less&& less) {
    int node = newNode(slot);
    if (root_ < 0) {
        root_ = node;
        setNodeOf(slot, node);
        return 0;
    }
    int at = root_;
    int position = 0;
    for (;;) {
        if (less(slot, nodes_[at].slot)) {
            if (nodes_[at].left < 0) {
                insertAt(at, true, node);
                break;
            }
            at = nodes_[at].left;
        } else {
            position += sizeOf(nodes_[at].left) + 1;
            if (nodes_[at].right < 0) {
                insertAt(at, false, node);
                break;
            }
            at = nodes_[at].right;
        }
    }
    setNodeOf(slot, node);
    return position;
}

}  // namespace oru
