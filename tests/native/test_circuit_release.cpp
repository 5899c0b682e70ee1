// Releasing nested records must not allocate: it runs while an allocation
// failure unwinds, when no memory may be left.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <new>
#include <vector>

#include "circuit/instruction.h"

namespace {

std::atomic<bool> gRefuseAllocations{false};

}  // namespace

// The replacements pair malloc with free; the compiler, seeing only the
// operators' names, takes them for a mismatch.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size) {
  if (gRefuseAllocations.load(std::memory_order_relaxed)) throw std::bad_alloc();
  if (void* block = std::malloc(size == 0 ? 1 : size)) return block;
  throw std::bad_alloc();
}
void operator delete(void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
#pragma GCC diagnostic pop

namespace velorin {
namespace {

InstructionPtr Leaf() {
  auto record = std::make_shared<Instruction>();
  record->kind = kind::kH;
  record->qubits = {0};
  return record;
}

InstructionPtr Composite(InstructionList subs) {
  auto record = std::make_shared<Instruction>();
  record->kind = kind::kComposite;
  record->name = "nest";
  record->sub_instructions = std::move(subs);
  return record;
}

// Drops `root` while every allocation fails.
void ReleaseWithoutMemory(InstructionPtr& root) {
  gRefuseAllocations = true;
  root.reset();
  gRefuseAllocations = false;
}

TEST(Release, DeepNestWithoutMemory) {
  // Each level: a leaf, the next level, a leaf; its list is exactly full.
  InstructionPtr root = Leaf();
  std::weak_ptr<Instruction> deepest = root;
  for (int level = 0; level < 100000; ++level) {
    InstructionList subs{Leaf(), std::move(root), Leaf()};
    subs.shrink_to_fit();
    root = Composite(std::move(subs));
  }
  std::weak_ptr<Instruction> top = root;
  ReleaseWithoutMemory(root);
  EXPECT_TRUE(top.expired());
  EXPECT_TRUE(deepest.expired());
}

TEST(Release, WideNestsWithSharedPartsWithoutMemory) {
  // Records also held elsewhere keep their own sub-records whole.
  std::vector<InstructionPtr> kept;
  std::vector<std::weak_ptr<Instruction>> released;
  InstructionList top;
  for (int i = 0; i < 200; ++i) {
    InstructionList inner;
    for (int j = 0; j < 50; ++j) inner.push_back(j % 2 ? Leaf() : Composite({Leaf(), Leaf()}));
    InstructionPtr part = Composite(std::move(inner));
    if (i % 3 == 0) {
      kept.push_back(part);
    } else {
      released.push_back(part->sub_instructions.front());
    }
    top.push_back(std::move(part));
  }
  InstructionPtr root = Composite(std::move(top));
  ReleaseWithoutMemory(root);
  for (const auto& weak : released) EXPECT_TRUE(weak.expired());
  for (const InstructionPtr& part : kept) {
    ASSERT_EQ(part.use_count(), 1);
    ASSERT_EQ(part->sub_instructions.size(), 50u);
    EXPECT_EQ(part->sub_instructions.front()->sub_instructions.size(), 2u);
  }
}

}  // namespace
}  // namespace velorin
