// The SDK face on its own, outside any host session: what a plug-in gets when it calls the SDK
// at the wrong time (no registration, no evaluation).
#include <gtest/gtest.h>

#include "xsi_core.h"
#include "xsi_icenodecontext.h"
#include "xsi_registration.h"

namespace {

using namespace XSI;

TEST(SdkStrings, EachByteBecomesOneWideCharacter) {
  CString s;
  s.PutAsciiString("Ab\xe9");
  EXPECT_EQ(s.Length(), 3u);
  EXPECT_EQ(std::wstring(s.GetWideString()), std::wstring(L"Ab\u00e9"));
  EXPECT_STREQ((s + CString("!")).GetAsciiString(), "Ab\xe9!");
  s.PutAsciiString(nullptr);
  EXPECT_TRUE(s.IsEmpty());
  EXPECT_EQ(std::wstring(s.GetWideString()), L"");
}

TEST(SdkWithoutSession, LogAndFailedAssertGoToStderr) {
  testing::internal::CaptureStderr();
  EXPECT_EQ(Application().LogMessage("hello", siWarningMsg), CStatus::OK);
  CStatus(CStatus::Fail).AssertSucceeded("nobody listens");
  CStatus(CStatus::OK).AssertSucceeded("not printed");
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("[4] hello"), std::string::npos) << err;
  EXPECT_NE(err.find("nobody listens"), std::string::npos) << err;
  EXPECT_EQ(err.find("not printed"), std::string::npos) << err;
}

TEST(SdkWithoutSession, DefinitionOutsideRegistrationIsInvalid) {
  testing::internal::CaptureStderr();
  ICENodeDef def = Application().GetFactory().CreateICENodeDef("N", "N");
  EXPECT_EQ(def.Record(), nullptr);
  EXPECT_EQ(def.PutColor(1, 2, 3), CStatus::Fail);
  EXPECT_EQ(def.AddPortGroup(100, 1, 1, ""), CStatus::Fail);
  EXPECT_EQ(PluginItem().PutCategories("x"), CStatus::Fail);
  PluginRegistrar nothing(nullptr);
  EXPECT_EQ(nothing.PutName("x"), CStatus::Fail);
  EXPECT_TRUE(nothing.GetName().IsEmpty());
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("no plug-in is being registered"), std::string::npos) << err;
}

TEST(SdkWithoutSession, DetachedContextFailsEveryCall) {
  testing::internal::CaptureStderr();
  ICENodeContext ctx(nullptr);
  EXPECT_EQ(ctx.GetEvaluatedOutputPortID(), 0u);
  siICENodeDataType type;
  siICENodeStructureType structure;
  siICENodeContextType context;
  EXPECT_FALSE(ctx.GetPortInfo(0, type, structure, context).Succeeded());
  CDataArrayRef a;
  a.handle = &a;
  EXPECT_FALSE(ctx.AcquireInputDataArray(a, siICENodeDataLong, 0, 0).Succeeded());
  EXPECT_EQ(a.handle, nullptr);
  EXPECT_FALSE(ctx.AcquireOutputDataArray(a, siICENodeDataCustomType).Succeeded());
  EXPECT_EQ(ctx.ResizeCustomTypeData(a, 0, 40), nullptr);
  EXPECT_EQ(ctx.GetSubArrayCount(a), 0u);
  EXPECT_FALSE(ctx.ReleaseDataArray(a).Succeeded());
  testing::internal::GetCapturedStderr();
}

}  // namespace

namespace {

TEST(SdkWithoutSession, ProgressBarDoesNothing) {
  XSI::ProgressBar bar = XSI::Application().GetUIToolkit().GetProgressBar();
  EXPECT_EQ(bar.PutMaximum(10), XSI::CStatus::Fail);
  EXPECT_EQ(bar.PutValue(3), XSI::CStatus::Fail);
  EXPECT_EQ(bar.PutCaption("x"), XSI::CStatus::Fail);
  EXPECT_EQ(bar.Increment(3), 0);
  EXPECT_EQ(bar.GetMaximum(), 0);
  EXPECT_TRUE(bar.GetCaption().IsEmpty());
  EXPECT_FALSE(bar.IsCancelPressed());
}

}  // namespace
