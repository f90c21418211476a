#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "core/classregistry.h"
#include "core/exceptions.h"
#include "core/formparser.h"
#include "core/forms.h"
#include "forms_fixture.h"

using namespace orn;
using namespace ft;

namespace {

class Forms : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterFixtureClasses();
    GLog.clear();
  }
};

// A description with every value kind, written exactly as the writer writes it.
const char* const FullForm =
    "object frmMain: TFtForm\n"
    "  Left = -192\n"
    "  Width = 300\n"
    "  Tiny = 255\n"
    "  Caption = 'It''s'#13'two lines'\n"
    "  Hint = ''\n"
    "  Visible = False\n"
    "  Style = fsNone\n"
    "  Icons = [fiSystemMenu, fiMaximize]\n"
    "  Anchors = [akLeft, akBottom]\n"
    "  Color = clRed\n"
    "  Font.Name = 'Tahoma'\n"
    "  Font.Height = -13\n"
    "  Image.Data = {\n"
    "    24000000000102030405060708090A0B0C0D0E0F101112131415161718191A1B\n"
    "    1C1D1E1F20212223}\n"
    "  PopupMenu = pm\n"
    "  OnShow = FormShow\n"
    "  OnMove = FormMove\n"
    "  object Panel1: TFtWidget\n"
    "    Width = 10\n"
    "    Caption = 'A caption long enough that the writer has to split it over two l' +\n"
    "      'ines, \xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82'\n"
    "    Color = 16711935\n"
    "    object Inner: TFtWidget\n"
    "      Width = 1\n"
    "      PopupMenu = pm\n"
    "    end\n"
    "  end\n"
    "  object pm: TFtMenu\n"
    "    object pmi10: TFtItem\n"
    "      Caption = '10%'\n"
    "      object pmiSub: TFtItem\n"
    "        Caption = #0#255'x'\n"
    "      end\n"
    "    end\n"
    "    object pmi20: TFtItem\n"
    "    end\n"
    "  end\n"
    "end\n";

TEST_F(Forms, EveryValueKindRoundTripsThroughReaderAndWriter) {
  std::unique_ptr<TComponent> C = CreateFromFormDescription(FullForm);
  auto* F = dynamic_cast<TFtForm*>(C.get());
  ASSERT_NE(F, nullptr);
  EXPECT_EQ(F->Name(), "frmMain");
  EXPECT_EQ(F->Left(), -192);
  EXPECT_EQ(F->Tiny(), 255);
  EXPECT_EQ(F->Caption(), "It's\rtwo lines");
  EXPECT_EQ(F->Hint(), "");
  EXPECT_FALSE(F->Visible());
  EXPECT_EQ(F->Style(), TFtStyle::fsNone);
  EXPECT_EQ(F->Icons(), (TFtIcons{TFtIcon::fiSystemMenu, TFtIcon::fiMaximize}));
  EXPECT_EQ(F->Anchors(), 9u);
  EXPECT_EQ(F->Color(), clRed);
  EXPECT_EQ(F->Font()->FName, "Tahoma");
  EXPECT_EQ(F->Font()->FHeight, -13);
  ASSERT_EQ(F->Image()->FData.size(), 36u);
  EXPECT_EQ(F->Image()->FData[35], 0x23);
  ASSERT_NE(F->Panel1, nullptr);
  EXPECT_EQ(F->Panel1->Caption(),
            "A caption long enough that the writer has to split it over two lines, "
            "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82");
  EXPECT_EQ(F->Panel1->GetParentComponent(), F);

  // Every nested object is owned by the root and parented by its enclosing object.
  EXPECT_EQ(F->ComponentCount(), 6);
  auto* Pm = dynamic_cast<TFtMenu*>(F->FindComponent("pm"));
  ASSERT_NE(Pm, nullptr);
  EXPECT_EQ(F->PopupMenu(), Pm);
  ASSERT_EQ(Pm->Items.size(), 2u);
  EXPECT_EQ(Pm->Items[0]->Name(), "pmi10");
  ASSERT_EQ(Pm->Items[0]->Items.size(), 1u);
  EXPECT_EQ(Pm->Items[0]->Items[0]->FCaption, std::string("\0\xFFx", 3));
  auto* Inner = dynamic_cast<TFtWidget*>(F->FindComponent("Inner"));
  ASSERT_NE(Inner, nullptr);
  EXPECT_EQ(Inner->GetParentComponent(), F->Panel1);
  EXPECT_EQ(Inner->PopupMenu(), Pm);

  const std::string Written = WriteFormDescription(F);
  EXPECT_EQ(Written, FullForm);
  // And once more through a fresh instance.
  std::unique_ptr<TComponent> Again = CreateFromFormDescription(Written);
  EXPECT_EQ(WriteFormDescription(Again.get()), FullForm);
}

TEST_F(Forms, ReadsIntoAnExistingRootAndChecksItsClass) {
  TFtForm Form(nullptr);
  ReadFormDescription("object frmMain: TFtForm\n  Left = 7\n  object Panel1: TFtWidget\n  end\nend",
                      &Form);
  EXPECT_EQ(Form.Left(), 7);
  EXPECT_EQ(Form.Name(), "frmMain");
  EXPECT_EQ(Form.Panel1, Form.FindComponent("Panel1"));

  TFtForm Other(nullptr);
  try {
    ReadFormDescription("object frmMain: TFtWidget\n  Left = 7\nend", &Other);
    FAIL();
  } catch (const EClassNotFound& E) {
    EXPECT_EQ(std::string(E.what()).rfind("Line 1: ", 0), 0u) << E.what();
  }
  EXPECT_EQ(Other.Left(), 0);
}

TEST_F(Forms, AppliesPropertiesInStoredOrderThenLoadedInCreationOrder) {
  std::unique_ptr<TComponent> C = CreateFromFormDescription(
      "object F: TFtForm\n"
      "  Width = 5\n"
      "  Left = 4\n"
      "  Width = 6\n"
      "  object B: TFtWidget\n"
      "    Caption = 'b'\n"
      "    Left = 1\n"
      "  end\n"
      "  object A: TFtWidget\n"
      "    Visible = False\n"
      "  end\n"
      "end\n");
  const std::vector<std::string> Expected = {"F.Width=5",   "F.Left=4", "F.Width=6",
                                             "B.Caption=b", "B.Left=1", "A.Visible=0",
                                             "Loaded:F",    "Loaded:B", "Loaded:A"};
  EXPECT_EQ(GLog, Expected);
  auto* F = static_cast<TFtWidget*>(C.get());
  EXPECT_TRUE(F->ReadingSeen);
  for (TComponent* X : {C.get(), C->FindComponent("A"), C->FindComponent("B")}) {
    EXPECT_FALSE(X->InState(TComponentStateItem::csLoading));
    EXPECT_FALSE(X->InState(TComponentStateItem::csReading));
  }
}

TEST_F(Forms, WriterLeavesOutDefaultsAndEmptyValuesWithoutDefault) {
  TFtForm F(nullptr);
  F.SetName("F");
  // Width has no default, so it is always written; everything else is at its default or
  // empty.
  EXPECT_EQ(WriteFormDescription(&F), "object F: TFtForm\n  Width = 0\nend\n");

  F.SetHint("");       // differs from the default "hint"
  F.SetAnchors(0);     // an empty set that differs from its default
  F.SetIcons({});      // empty, no default: not written
  F.SetVisible(true);  // equal to the default
  F.Font()->FName = "MS Sans Serif";
  EXPECT_EQ(WriteFormDescription(&F),
            "object F: TFtForm\n  Width = 0\n  Hint = ''\n  Anchors = []\nend\n");

  // An event handler that was not bound by name cannot be stored and is left out.
  F.SetOnShow([](TObject*) {});
  EXPECT_EQ(WriteFormDescription(&F).find("OnShow"), std::string::npos);
}

TEST_F(Forms, DottedSubObjectsAndBinaryDataWithAnAncestor) {
  const std::string Text =
      "object F: TFtForm\n"
      "  Font.Height = 9\n"
      "  Image.Data = {03000000 41\n"
      "     42\n43}\n"
      "end\n";
  std::unique_ptr<TComponent> C = CreateFromFormDescription(Text);
  auto* F = static_cast<TFtForm*>(C.get());
  EXPECT_EQ(F->Font()->FHeight, 9);
  EXPECT_EQ(F->Font()->FName, "MS Sans Serif");
  EXPECT_EQ(F->Image()->FData, (std::vector<uint8_t>{'A', 'B', 'C'}));
  EXPECT_EQ(F->Image()->Reads, 1);

  // Against an ancestor holding the same data and font, neither is written.
  TFtForm Ancestor(nullptr);
  Ancestor.Font()->FHeight = 9;
  Ancestor.Image()->FData = {'A', 'B', 'C'};
  std::string W = WriteFormDescription(F, &Ancestor);
  EXPECT_TRUE(F->Image()->SawAncestor);
  EXPECT_EQ(W.find("Image.Data"), std::string::npos) << W;
  EXPECT_EQ(W.find("Font.Height"), std::string::npos) << W;

  // Different data in the ancestor: written. An empty image without ancestor: not written.
  Ancestor.Image()->FData = {'A'};
  W = WriteFormDescription(F, &Ancestor);
  EXPECT_NE(W.find("  Image.Data = {\n    03000000414243}\n"), std::string::npos) << W;
  F->Image()->FData.clear();
  W = WriteFormDescription(F);
  EXPECT_FALSE(F->Image()->SawAncestor);
  EXPECT_EQ(W.find("Image.Data"), std::string::npos) << W;

  // A stored payload promising more bytes than it holds fails with the object's own error.
  EXPECT_THROW(CreateFromFormDescription("object F: TFtForm\n Image.Data = {05000000 41}\nend"),
               EReadError);
}

TEST_F(Forms, EventsBindToTheRootsPublishedMethods) {
  std::unique_ptr<TComponent> C = CreateFromFormDescription(
      "object F: TFtForm\n  object Panel1: TFtWidget\n    OnShow = FormShow\n"
      "    OnMove = FormMove\n  end\nend\n");
  auto* F = static_cast<TFtForm*>(C.get());
  ASSERT_TRUE(F->Panel1->OnShow());
  F->Panel1->OnShow()(F->Panel1);
  F->Panel1->OnMove()(F->Panel1, 3, 4);
  EXPECT_EQ(F->ShowCalls, 1);
  EXPECT_EQ(F->LastX, 3);
  EXPECT_EQ(F->LastY, 4);
  EXPECT_NE(WriteFormDescription(F).find("    OnShow = FormShow\n    OnMove = FormMove\n"),
            std::string::npos);

  struct Case {
    const char* Value;
    const char* Message;
  };
  const Case Cases[] = {
      {"FormHide", "Line 2: Method FormHide of TFtForm does not exist"},
      {"FormMove", "Line 2: Method FormMove does not match the type of event OnShow"},
      {"'FormShow'", "Line 2: Invalid value for property OnShow (Method name expected)"},
  };
  for (const Case& K : Cases) {
    try {
      CreateFromFormDescription(std::string("object F: TFtForm\n  OnShow = ") + K.Value + "\nend");
      ADD_FAILURE() << K.Value;
    } catch (const EPropertyError& E) {
      EXPECT_STREQ(E.what(), K.Message);
    }
  }
}

TEST_F(Forms, ComponentReferencesResolveAfterTheWholeDescription) {
  std::unique_ptr<TComponent> C = CreateFromFormDescription(
      "object F: TFtForm\n"
      "  PopupMenu = pm\n"
      "  object Panel1: TFtWidget\n"
      "    PopupMenu = PM\n"  // names match without regard to case
      "  end\n"
      "  object pm: TFtMenu\n"
      "  end\n"
      "end\n");
  auto* F = static_cast<TFtForm*>(C.get());
  TComponent* Pm = F->FindComponent("pm");
  EXPECT_EQ(F->PopupMenu(), Pm);
  EXPECT_EQ(F->Panel1->PopupMenu(), Pm);
  // Until the end of the description nothing was set: the setter ran after Panel1's reading.
  EXPECT_EQ(GLog.front(), "F.PopupMenu=pm");
  delete Pm;
  EXPECT_EQ(F->PopupMenu(), nullptr);

  struct Case {
    const char* Body;
    const char* Message;
  };
  const Case Cases[] = {
      {"  PopupMenu = nothere\n", "Line 2: Component nothere not found"},
      {"  PopupMenu = Panel1\n  object Panel1: TFtWidget\n  end\n",
       "Line 2: Component Panel1 (TFtWidget) does not fit property PopupMenu"},
  };
  for (const Case& K : Cases) {
    try {
      CreateFromFormDescription(std::string("object F: TFtForm\n") + K.Body + "end");
      ADD_FAILURE() << K.Body;
    } catch (const EPropertyError& E) {
      EXPECT_STREQ(E.what(), K.Message);
    }
  }
  EXPECT_EQ(GLive, 2);  // only C's form and its Panel1
}

TEST_F(Forms, MalformedDescriptionsNameTheLine) {
  struct Case {
    std::string Text;
    std::string Message;
    enum { Parser, Property, Class, Component } Kind;
  };
  const std::string Head = "object F: TFtForm\n";
  std::string Deep;
  for (int I = 0; I < MaxDescNesting + 2; ++I)
    Deep += "object A" + std::to_string(I) + ": TFtWidget\n";
  const std::vector<Case> Cases = {
      {Head + "  Left 5\nend", "Line 2: '=' expected but '5' found", Case::Parser},
      {Head + "  Left = 5\n", "Line 3: 'end' expected but end of file found", Case::Parser},
      {Head + "  Caption = 'abc\nend", "Line 2: Unterminated string", Case::Parser},
      {Head + "  Caption = 'a' +\n  5\nend", "Line 3: String expected but '5' found", Case::Parser},
      {Head + "  Image.Data = {\n 0A1\n}\nend",
       "Line 2: Binary value has an odd number of hexadecimal digits", Case::Parser},
      {Head + "  Image.Data = {\n 0G}\nend", "Line 3: Invalid binary value: 'G'", Case::Parser},
      {Head + "  Image.Data = {00", "Line 2: '}' expected but end of file found", Case::Parser},
      {Head + "  Left = 99999999999999999999\nend",
       "Line 2: Number out of range: 99999999999999999999", Case::Parser},
      {Head + "  Left = 1.5\nend", "Line 2: Floating-point values are not supported", Case::Parser},
      {Head + "  Caption = #1114112\nend", "Line 2: Invalid character code: #1114112",
       Case::Parser},
      {Head + "  Left = =\nend", "Line 2: Property value expected but '=' found", Case::Parser},
      {Head + "  Icons = [fiMinimize,]\nend", "Line 2: Identifier expected but ']' found",
       Case::Parser},
      {Head + "end\nfoo", "Line 3: end of file expected but 'foo' found", Case::Parser},
      {"inherited F: TFtForm\nend", "Line 1: 'inherited' objects are not supported", Case::Parser},
      {"", "Line 1: 'object' expected but end of file found", Case::Parser},
      {Head + Deep, "Line " + std::to_string(MaxDescNesting + 1) + ": Objects nested too deeply",
       Case::Parser},
      {Head + "  Foo = 1\nend", "Line 2: Property Foo does not exist", Case::Property},
      {Head + "  Font.Foo = 1\nend", "Line 2: Property Font.Foo does not exist", Case::Property},
      {Head + "  Left.X = 1\nend", "Line 2: Property Left.X does not exist", Case::Property},
      {Head + "  Tiny = 256\nend", "Line 2: Value 256 out of range for property Tiny",
       Case::Property},
      {Head + "  Left = 'abc'\nend", "Line 2: Invalid value for property Left (Integer expected)",
       Case::Property},
      {Head + "  Visible = 1\nend",
       "Line 2: Invalid value for property Visible (True or False expected)", Case::Property},
      {Head + "  Style = fsHuge\nend",
       "Line 2: Invalid value for property Style (One of fsNone, fsSingle, fsSizeable expected)",
       Case::Property},
      {Head + "  Icons = [fiHuge]\nend", "Line 2: Invalid set element fiHuge for property Icons",
       Case::Property},
      {Head + "  Font = 1\nend", "Line 2: Invalid value for property Font (Sub-property expected)",
       Case::Property},
      {Head + "  Caption = {00}\nend",
       "Line 2: Invalid value for property Caption (String expected)", Case::Property},
      {Head + "  Image.Data = 'x'\nend",
       "Line 2: Invalid value for property Image.Data (binary data expected)", Case::Property},
      {Head + "  object X: TNope\n  end\nend", "Line 2: Class TNope not found", Case::Class},
      {Head + "  object X: TFtFont\n  end\nend", "Line 2: Class TFtFont is not a component class",
       Case::Class},
      {Head + "  object X: TFtWidget\n  end\n  object x: TFtWidget\n  end\nend",
       "Line 4: A component named x already exists", Case::Component},
      {Head + "  object Panel1: TFtMenu\n  end\nend",
       "Line 2: Field Panel1 of TFtForm cannot hold a TFtMenu", Case::Component},
  };
  for (const Case& K : Cases) {
    try {
      CreateFromFormDescription(K.Text);
      ADD_FAILURE() << "no error for: " << K.Text;
    } catch (const Exception& E) {
      EXPECT_EQ(E.Message(), K.Message) << K.Text;
      switch (K.Kind) {
        case Case::Parser:
          EXPECT_NE(dynamic_cast<const EParserError*>(&E), nullptr) << K.Message;
          break;
        case Case::Property:
          EXPECT_NE(dynamic_cast<const EPropertyError*>(&E), nullptr) << K.Message;
          break;
        case Case::Class:
          EXPECT_NE(dynamic_cast<const EClassNotFound*>(&E), nullptr) << K.Message;
          break;
        case Case::Component:
          EXPECT_NE(dynamic_cast<const EComponentError*>(&E), nullptr) << K.Message;
          break;
      }
    }
    EXPECT_EQ(GLive, 0) << K.Text;
  }
}

TEST_F(Forms, FailedReadLeavesNoComponentsBehind) {
  TFtForm Form(nullptr);
  TFtWidget Kept(&Form);  // existed before the read and must survive it
  Kept.SetName("Kept");
  const int Before = GLive;
  // The same objects, with properties of the root in front and more objects behind.
  auto Text = [](const std::string& RootProps, const std::string& MoreObjects) {
    return "object F: TFtForm\n" + RootProps +
           "  object Panel1: TFtWidget\n"
           "    object Inner: TFtWidget\n"
           "    end\n"
           "  end\n"
           "  object pm: TFtMenu\n"
           "    object pmi: TFtItem\n"
           "    end\n"
           "  end\n" +
           MoreObjects + "end\n";
  };
  auto Check = [&](const std::string& Desc) {
    EXPECT_EQ(GLive, Before) << Desc;
    ASSERT_EQ(Form.ComponentCount(), 1) << Desc;
    EXPECT_EQ(Form.Components(0), &Kept);
    EXPECT_EQ(Form.Panel1, nullptr) << "field left pointing at a destroyed component";
    EXPECT_EQ(Form.PopupMenu(), nullptr);
    EXPECT_FALSE(Form.InState(TComponentStateItem::csLoading));
    EXPECT_FALSE(Form.InState(TComponentStateItem::csReading));
  };
  std::string Desc = Text("", "  object Bad: TFtWidget\n    Left = x\n  end\n");
  EXPECT_THROW(ReadFormDescription(Desc, &Form), EPropertyError);
  Check(Desc);
  Desc = Text("  PopupMenu = nowhere\n", "");
  EXPECT_THROW(ReadFormDescription(Desc, &Form), EPropertyError);
  Check(Desc);
  Desc = Text("", "  object Late: TNope\n  end\n");
  EXPECT_THROW(ReadFormDescription(Desc, &Form), EClassNotFound);
  Check(Desc);

  // A failure in Loaded, after references were set, also takes everything back, and the
  // root's reference to the destroyed menu is cleared.
  Form.FailInLoaded = true;
  Desc = Text("  PopupMenu = pm\n", "");
  EXPECT_THROW(ReadFormDescription(Desc, &Form), EComponentError);
  EXPECT_NE(std::find(GLog.begin(), GLog.end(), "F.PopupMenu=pm"), GLog.end());
  Check(Desc);
  Form.FailInLoaded = false;
  ReadFormDescription(Desc, &Form);
  EXPECT_EQ(Form.ComponentCount(), 5);  // Kept and the four read
  EXPECT_EQ(Form.PopupMenu(), Form.FindComponent("pm"));
  const std::string Good = Text("", "");

  // Creating from the registry: the root goes too, also when it has an owner.
  TFtWidget Owner(nullptr);
  const int WithOwner = GLive;
  EXPECT_THROW(CreateFromFormDescription(Text("  Foo = 1\n", ""), &Owner), EPropertyError);
  EXPECT_EQ(GLive, WithOwner);
  EXPECT_EQ(Owner.ComponentCount(), 0);
  // And the same text without the fault reads fine into the owner.
  TComponent* Made = CreateFromFormDescription(Good, &Owner);
  EXPECT_EQ(Made->Owner(), &Owner);
  EXPECT_EQ(Made->ComponentCount(), 4);
}

TEST_F(Forms, StringAndNumberSyntax) {
  struct Case {
    const char* Value;
    std::string Caption;
  };
  const Case Strings[] = {
      {"''", ""},
      {"'It''s'", "It's"},
      {"#65#$42'c'#13#10", "ABc\r\n"},
      {"'a' +\n   'b'+'c'", "abc"},
      {"#1058#1077", "\xD0\xA2\xD0\xB5"},  // larger codes become UTF-8
      {"#0", std::string(1, '\0')},
  };
  for (const Case& K : Strings) {
    std::unique_ptr<TComponent> C = CreateFromFormDescription(
        std::string("object F: TFtForm\n  Caption = ") + K.Value + "\nend");
    EXPECT_EQ(static_cast<TFtForm*>(C.get())->Caption(), K.Caption) << K.Value;
  }
  const std::pair<const char*, int> Numbers[] = {
      {"-5", -5}, {"$FF", 255}, {"-$10", -16}, {"2147483647", 2147483647}};
  for (const auto& [Text, Value] : Numbers) {
    std::unique_ptr<TComponent> C =
        CreateFromFormDescription(std::string("object F: TFtForm\n  Left = ") + Text + "\nend");
    EXPECT_EQ(static_cast<TFtForm*>(C.get())->Left(), Value) << Text;
  }
  EXPECT_THROW(CreateFromFormDescription("object F: TFtForm\n  Left = 2147483648\nend"),
               EPropertyError);

  // Every byte value survives writing and reading; bytes that are not UTF-8 text are coded.
  TFtForm F(nullptr);
  F.SetName("F");
  std::string All;
  for (int B = 0; B < 256; ++B) All += static_cast<char>(B);
  F.SetCaption(All);
  const std::string W = WriteFormDescription(&F);
  EXPECT_NE(W.find("#13#14"), std::string::npos);
  EXPECT_NE(W.find("#200"), std::string::npos);
  std::unique_ptr<TComponent> Back = CreateFromFormDescription(W);
  EXPECT_EQ(static_cast<TFtForm*>(Back.get())->Caption(), All);
}

TEST_F(Forms, ParserKeepsLinesAcrossLineBreakStyles) {
  auto Desc = ParseFormDescription("object A: T\r\n  X = 1\r  Y = {00\r\n00}\n  Z = 2\nend");
  ASSERT_EQ(Desc->Properties.size(), 3u);
  EXPECT_EQ(Desc->Properties[0].Line, 2);
  EXPECT_EQ(Desc->Properties[1].Line, 3);
  EXPECT_EQ(Desc->Properties[2].Line, 5);
  auto Unnamed = ParseFormDescription("object TFoo\nend");
  EXPECT_EQ(Unnamed->Name, "");
  EXPECT_EQ(Unnamed->ClassName, "TFoo");
}

TEST_F(Forms, PublishedFieldsFollowTheirComponents) {
  TFtForm F(nullptr);
  auto* P = new TFtWidget(&F);
  EXPECT_EQ(F.Panel1, nullptr);
  P->SetName("panel1");  // matched without regard to case
  EXPECT_EQ(F.Panel1, P);
  P->SetName("Other");
  EXPECT_EQ(F.Panel1, nullptr);
  P->SetName("Panel1");
  delete P;
  EXPECT_EQ(F.Panel1, nullptr);
  auto* M = new TFtMenu(&F);
  EXPECT_THROW(M->SetName("Panel1"), EComponentError);
  EXPECT_EQ(M->Name(), "");
  EXPECT_EQ(F.Panel1, nullptr);
}

TEST(ClassRegistry, FindsCreatesAndRefusesClashes) {
  RegisterFixtureClasses();
  RegisterFixtureClasses();  // the same classes again: no error
  try {
    FindClass("TFooNowhere");
    FAIL();
  } catch (const EClassNotFound& E) {
    EXPECT_STREQ(E.what(), "Class TFooNowhere not found");
  }
  EXPECT_EQ(GetClass("TFooNowhere"), nullptr);
  TPersistentClass W = FindClass("tftwidget");
  ASSERT_TRUE(W->IsComponent());
  TFtWidget Owner(nullptr);
  TComponent* Made = W->CreateComponent(&Owner);
  EXPECT_EQ(Made->ClassName(), "TFtWidget");
  EXPECT_EQ(Made->Owner(), &Owner);

  TPersistentClass Font = FindClass("TFtFont");
  ASSERT_FALSE(Font->IsComponent());
  std::unique_ptr<TPersistent> P(Font->CreatePersistent());
  EXPECT_EQ(P->ClassName(), "TFtFont");

  EXPECT_THROW(RegisterClass<TFtMenu>("TFtWidget"), EComponentError);
  RegisterClass("TFtCustomMade", [](TComponent* O) -> TComponent* { return new TFtMenu(O); });
  EXPECT_THROW(
      RegisterClass("TFtCustomMade", [](TComponent* O) -> TComponent* { return new TFtMenu(O); }),
      EComponentError);
  UnRegisterClass("TFtCustomMade");
  EXPECT_EQ(GetClass("TFtCustomMade"), nullptr);
}

}  // namespace

namespace {

// A subclass that changes an inherited default, stores Left only when Width is set, and
// redeclares Caption with a default (keeping its place in the order).
class TFtPanel : public TFtWidget {
 public:
  using TFtWidget::TFtWidget;
  std::string ClassName() const override { return "TFtPanel"; }
  void DeclareProperties(TPropertyList& Props) const override {
    TFtWidget::DeclareProperties(Props);
    Props.SetDefault("Visible", 0);
    auto P = Props.Of<TFtPanel>();
    P.StoredWhen("Left", [](TFtPanel& Self) { return Self.Width() != 0; });
    P.String("Caption", &TFtWidget::Caption, &TFtWidget::SetCaption, "Panel");
  }
};

TEST_F(Forms, SubclassesAdjustInheritedProperties) {
  TFtPanel P(nullptr);
  P.SetName("P");
  const TPropertyList& L = GetPropList(P);
  EXPECT_EQ(L.Count(), GetPropList(TFtWidget(nullptr)).Count());
  EXPECT_EQ(L[3].Name, "Caption");
  P.SetLeft(5);
  P.SetCaption("Panel");
  // Visible (true) now differs from the default; Left is not stored while Width is 0.
  EXPECT_EQ(WriteFormDescription(&P), "object P: TFtPanel\n  Width = 0\n  Visible = True\nend\n");
  P.SetWidth(2);
  P.SetVisible(false);
  P.SetCaption("");
  EXPECT_EQ(WriteFormDescription(&P),
            "object P: TFtPanel\n  Left = 5\n  Width = 2\n  Caption = ''\nend\n");
}

// Damaged descriptions either read or fail with one of the system's exceptions; they never
// crash, and a failure leaves no component alive.
TEST_F(Forms, DamagedDescriptionsFailCleanly) {
  const std::string Base = FullForm;
  uint32_t Seed = 12345;
  auto Rand = [&Seed]() {
    Seed = Seed * 1103515245u + 12345u;
    return (Seed >> 16) & 0x7FFF;
  };
  const char Tokens[] = "'#${}[](),.=+-:0aZ\n\r ";
  int Failures = 0, Successes = 0;
  for (int Round = 0; Round < 3000; ++Round) {
    std::string S = Base;
    const int Edits = 1 + static_cast<int>(Rand() % 4);
    for (int E = 0; E < Edits; ++E) {
      const size_t At = Rand() % S.size();
      switch (Rand() % 3) {
        case 0:
          S[At] = Tokens[Rand() % (sizeof(Tokens) - 1)];
          break;
        case 1:
          S.erase(At, 1 + Rand() % 8);
          break;
        default:
          S.insert(At, 1, static_cast<char>(Rand() & 0xFF));
          break;
      }
      if (S.empty()) S = "x";
    }
    try {
      std::unique_ptr<TComponent> C = CreateFromFormDescription(S);
      ++Successes;
    } catch (const Exception&) {
      ++Failures;
    }
    ASSERT_EQ(GLive, 0) << S;
  }
  EXPECT_GT(Failures, 0);
  EXPECT_GT(Successes, 0);
}

}  // namespace
