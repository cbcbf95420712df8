// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalog/ViewIndex.h"

#include <algorithm>
#include <cassert>

namespace oru {

void ViewIndex::clear() {
    nodes_.clear();
    free_.clear();
    slotNode_.clear();
    sparseNode_.clear();
    sparse_ = false;
    root_ = -1;
}

uint32_t ViewIndex::nextPriority() {
    // xorshift32: cheap, deterministic priorities are enough for expected logarithmic depth.
    seed_ ^= seed_ << 13;
    seed_ ^= seed_ >> 17;
    seed_ ^= seed_ << 5;
    return seed_;
}

void ViewIndex::setNodeOf(uint32_t slot, int node) {
    if (sparse_) {
        if (node < 0) {
            sparseNode_.erase(slot);
        } else {
            sparseNode_[slot] = node;
        }
        return;
    }
    if (slot >= slotNode_.size()) {
        if (node < 0) return;
        slotNode_.resize(std::max<size_t>(slot + 1, slotNode_.size() * 2), -1);
    }
    slotNode_[slot] = node;
}

int ViewIndex::newNode(uint32_t slot) {
    Node n;
    n.slot = slot;
    n.priority = nextPriority();
    if (!free_.empty()) {
        int index = free_.back();
        free_.pop_back();
        nodes_[index] = n;
        return index;
    }
    nodes_.push_back(n);
    return static_cast<int>(nodes_.size()) - 1;
}

void ViewIndex::freeNode(int node) { free_.push_back(node); }

void ViewIndex::assign(const std::vector<uint32_t>& slots) {
    clear();
    nodes_.reserve(slots.size());
    // A table indexed by slot number costs the highest slot number; a few slots out of many
    // are mapped by hash instead.
    const uint32_t highest = slots.empty() ? 0 : *std::max_element(slots.begin(), slots.end());
    sparse_ = highest > 4 * slots.size() + 1024;
    if (sparse_) sparseNode_.reserve(slots.size());
    // Cartesian tree over the sequence: the in-order walk is the sequence, priorities form a heap.
    std::vector<int> rightSpine;
    for (uint32_t slot : slots) {
        int node = newNode(slot);
        setNodeOf(slot, node);
        int last = -1;
        while (!rightSpine.empty() && nodes_[rightSpine.back()].priority < nodes_[node].priority) {
            last = rightSpine.back();
            rightSpine.pop_back();
        }
        nodes_[node].left = last;
        if (!rightSpine.empty()) nodes_[rightSpine.back()].right = node;
        rightSpine.push_back(node);
    }
    if (rightSpine.empty()) return;
    root_ = rightSpine.front();
    // Parents and subtree sizes: a pre-order walk, then sizes in reverse pre-order.
    std::vector<int> order;
    order.reserve(nodes_.size());
    std::vector<int> stack{root_};
    nodes_[root_].parent = -1;
    while (!stack.empty()) {
        int node = stack.back();
        stack.pop_back();
        order.push_back(node);
        for (int child : {nodes_[node].left, nodes_[node].right}) {
            if (child >= 0) {
                nodes_[child].parent = node;
                stack.push_back(child);
            }
        }
    }
    for (auto it = order.rbegin(); it != order.rend(); ++it) update(*it);
}

std::vector<uint32_t> ViewIndex::toVector() const {
    std::vector<uint32_t> out;
    out.reserve(static_cast<size_t>(size()));
    std::vector<int> stack;
    int node = root_;
    while (node >= 0 || !stack.empty()) {
        while (node >= 0) {
            stack.push_back(node);
            node = nodes_[node].left;
        }
        node = stack.back();
        stack.pop_back();
        out.push_back(nodes_[node].slot);
        node = nodes_[node].right;
    }
    return out;
}

uint32_t ViewIndex::at(int index) const {
    assert(index >= 0 && index < size());
    int node = root_;
    for (;;) {
        int leftSize = sizeOf(nodes_[node].left);
        if (index < leftSize) {
            node = nodes_[node].left;
        } else if (index == leftSize) {
            return nodes_[node].slot;
        } else {
            index -= leftSize + 1;
            node = nodes_[node].right;
        }
    }
}

int ViewIndex::indexOf(uint32_t slot) const {
    int node = nodeOf(slot);
    if (node < 0) return -1;
    int position = sizeOf(nodes_[node].left);
    while (nodes_[node].parent >= 0) {
        int parent = nodes_[node].parent;
        if (nodes_[parent].right == node) position += sizeOf(nodes_[parent].left) + 1;
        node = parent;
    }
    return position;
}

void ViewIndex::rotateUp(int x) {
    int p = nodes_[x].parent;
    int g = nodes_[p].parent;
    if (nodes_[p].left == x) {
        int b = nodes_[x].right;
        nodes_[p].left = b;
        if (b >= 0) nodes_[b].parent = p;
        nodes_[x].right = p;
    } else {
        int b = nodes_[x].left;
        nodes_[p].right = b;
        if (b >= 0) nodes_[b].parent = p;
        nodes_[x].left = p;
    }
    nodes_[p].parent = x;
    nodes_[x].parent = g;
    if (g < 0) {
        root_ = x;
    } else if (nodes_[g].left == p) {
        nodes_[g].left = x;
    } else {
        nodes_[g].right = x;
    }
    update(p);
    update(x);
}

void ViewIndex::insertAt(int parent, bool asLeft, int node) {
    (asLeft ? nodes_[parent].left : nodes_[parent].right) = node;
    nodes_[node].parent = parent;
    for (int a = parent; a >= 0; a = nodes_[a].parent) ++nodes_[a].size;
    while (nodes_[node].parent >= 0 && nodes_[nodes_[node].parent].priority < nodes_[node].priority) rotateUp(node);
}

int ViewIndex::erase(uint32_t slot) {
    int node = nodeOf(slot);
    if (node < 0) return -1;
    int position = indexOf(slot);
    // Rotate the node down until it has at most one child, then splice it out.
    while (nodes_[node].left >= 0 && nodes_[node].right >= 0) {
        int l = nodes_[node].left, r = nodes_[node].right;
        rotateUp(nodes_[l].priority > nodes_[r].priority ? l : r);
    }
    int child = nodes_[node].left >= 0 ? nodes_[node].left : nodes_[node].right;
    int parent = nodes_[node].parent;
    if (child >= 0) nodes_[child].parent = parent;
    if (parent < 0) {
        root_ = child;
    } else if (nodes_[parent].left == node) {
        nodes_[parent].left = child;
    } else {
        nodes_[parent].right = child;
    }
    for (int a = parent; a >= 0; a = nodes_[a].parent) --nodes_[a].size;
    setNodeOf(slot, -1);
    freeNode(node);
    return position;
}

void ViewIndex::replace(uint32_t oldSlot, uint32_t newSlot) {
    int node = nodeOf(oldSlot);
    assert(node >= 0 && !contains(newSlot));
    setNodeOf(oldSlot, -1);
    nodes_[node].slot = newSlot;
    setNodeOf(newSlot, node);
}

}  // namespace oru
