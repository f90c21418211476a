#include <gtest/gtest.h>

#include "core/component.h"
#include "core/exceptions.h"
#include "core/stringlist.h"

using namespace orn;

TEST(StringList, HoldsAnyBytesAndSplitsText) {
  TStringList L;
  L.Add(std::string("a\0b", 3));
  EXPECT_EQ(L[0].size(), 3u);
  L.SetText("one\r\ntwo\nthree\rfour");
  ASSERT_EQ(L.Count(), 4);
  EXPECT_EQ(L[3], "four");
  EXPECT_EQ(L.Text(), "one\r\ntwo\r\nthree\r\nfour\r\n");
  EXPECT_THROW(L.Strings(4), EListError);
  EXPECT_THROW(L.Delete(-1), EListError);
}

TEST(Persistent, AssignErrorNamesBothClasses) {
  TStringList L;
  TPersistent P;
  try {
    L.Assign(&P);
    FAIL();
  } catch (const EConvertError& E) {
    EXPECT_STREQ(E.what(), "Cannot assign a TPersistent to a TStringList");
  }
  try {
    L.Assign(nullptr);
    FAIL();
  } catch (const EConvertError& E) {
    EXPECT_STREQ(E.what(), "Cannot assign a nil to a TStringList");
  }
}

namespace {
struct Probe : TComponent {
  using TComponent::TComponent;
  static inline int Alive = 0;
  TComponent* Ref = nullptr;
  Probe(TComponent* O, int) : TComponent(O) { ++Alive; }
  ~Probe() override { --Alive; }
  void Notification(TComponent* C, TOperation Op) override {
    TComponent::Notification(C, Op);
    if (Op == TOperation::opRemove && C == Ref) Ref = nullptr;
  }
};

struct Counted : TSharedImage {
  static inline int Freed = 0;
  bool HandleFreed = false;
  void FreeHandle() override { ++Freed; }
};
}  // namespace

TEST(Component, OwnerDestroysOwnedAndChildLeavesOwner) {
  auto* Root = new Probe(nullptr, 0);
  auto* A = new Probe(Root, 0);
  auto* B = new Probe(Root, 0);
  A->SetName("A");
  EXPECT_THROW(B->SetName("a"), EComponentError);  // names are case-insensitive
  EXPECT_THROW(B->SetName("1x"), EComponentError);
  B->Ref = A;
  EXPECT_EQ(Root->FindComponent("A"), A);
  delete A;  // leaves the owner's list, sibling drops its reference
  EXPECT_EQ(Root->ComponentCount(), 1);
  EXPECT_EQ(B->Ref, nullptr);
  EXPECT_EQ(Probe::Alive, 2);
  delete Root;
  EXPECT_EQ(Probe::Alive, 0);
}

TEST(SharedImage, CountStartsAtZeroAndLastReleaseFrees) {
  auto* H = new Counted;
  EXPECT_EQ(H->RefCount(), 0);
  H->Reference();
  H->Reference();
  H->Release();
  EXPECT_EQ(Counted::Freed, 0);
  H->Release();  // frees
  EXPECT_EQ(Counted::Freed, 1);
}
