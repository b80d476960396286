// libudev bound at run time: the real library binds every entry point the directory uses; a
// missing library, or one without those entry points, leaves a directory that lists nothing,
// watches nothing and has said why exactly once.
#include <sstream>
#include <string>

#include "platform/hidraw/Linux.h"
#include "platform/hidraw/Udev.h"
#include "tests/hidraw/HidrawTesting.h"

namespace {

using hidraw::detail::kUdevLibraryName;
using hidraw::detail::SharedLibrary;
using hidraw::detail::UdevLibrary;

constexpr const char* kMissingLibrary = "libudev-not-installed.so.1";

int Lines(const std::string& text) {
  int n = 0;
  for (char c : text) n += c == '\n' ? 1 : 0;
  return n;
}

TEST(UdevLibrary, BindsEveryEntryPointOfTheInstalledLibrary) {
  std::string why;
  auto library = UdevLibrary::Load(kUdevLibraryName, why);
  ASSERT_NE(library, nullptr) << why;
  EXPECT_EQ(why, "");
#define TILL_UDEV_EXPECT_BOUND(name) EXPECT_NE(library->name, nullptr) << #name;
  TILL_UDEV_ENTRY_POINTS(TILL_UDEV_EXPECT_BOUND)
#undef TILL_UDEV_EXPECT_BOUND

  // A context made and released through the binding.
  hidraw::detail::UdevPtr udev = library->Own(library->udev_new());
  EXPECT_NE(udev, nullptr);
}

TEST(UdevLibrary, AMissingLibraryIsNullWithTheLoadersReason) {
  std::string why;
  EXPECT_EQ(UdevLibrary::Load(kMissingLibrary, why), nullptr);
  EXPECT_NE(why.find(kMissingLibrary), std::string::npos) << why;
}

TEST(UdevLibrary, ALibraryWithoutTheEntryPointsIsNullAndNamesTheFirstMissing) {
  std::string why;
  EXPECT_EQ(UdevLibrary::Load("libc.so.6", why), nullptr);
  EXPECT_EQ(why, "libc.so.6: no entry point udev_new");
}

TEST(SharedLibrary, OneOwnerAtATime) {
  std::string why;
  SharedLibrary first = SharedLibrary::Open(kUdevLibraryName, why);
  ASSERT_TRUE(first.Loaded()) << why;
  EXPECT_NE(first.Symbol("udev_new"), nullptr);
  EXPECT_EQ(first.Symbol("no_such_entry_point"), nullptr);

  // What a moved-from owner holds is the point here: nothing, so that it closes nothing.
  SharedLibrary second(std::move(first));
  // NOLINTNEXTLINE(bugprone-use-after-move,clang-analyzer-cplusplus.Move)
  EXPECT_FALSE(first.Loaded());
  // NOLINTNEXTLINE(bugprone-use-after-move,clang-analyzer-cplusplus.Move)
  EXPECT_EQ(first.Symbol("udev_new"), nullptr);
  EXPECT_TRUE(second.Loaded());

  SharedLibrary third;
  third = std::move(second);
  // NOLINTNEXTLINE(bugprone-use-after-move,clang-analyzer-cplusplus.Move)
  EXPECT_FALSE(second.Loaded());
  EXPECT_TRUE(third.Loaded());
  third.Reset();
  EXPECT_FALSE(third.Loaded());

  SharedLibrary none = SharedLibrary::Open(kMissingLibrary, why);
  EXPECT_FALSE(none.Loaded());
  EXPECT_EQ(none.Symbol("udev_new"), nullptr);
}

TEST(UdevDirectory, WithoutTheLibraryListsNothingAndSaysWhyOnce) {
  std::ostringstream errors;
  auto directory = hidraw::detail::MakeUdevDirectory(kMissingLibrary, errors);
  ASSERT_NE(directory, nullptr);
  EXPECT_TRUE(directory->Enumerate().empty());
  EXPECT_TRUE(directory->Enumerate().empty());
  EXPECT_FALSE(directory->Describe(0).has_value());
  EXPECT_EQ(directory->Watch(), nullptr);
  EXPECT_EQ(Lines(errors.str()), 1) << errors.str();
  EXPECT_EQ(errors.str().rfind("hidraw: ", 0), 0u) << errors.str();
  EXPECT_NE(errors.str().find(kMissingLibrary), std::string::npos) << errors.str();
  EXPECT_NE(errors.str().find("no HID devices"), std::string::npos) << errors.str();
}

TEST(UdevDirectory, TheServicesOverItFindNoDevicesAndWatchNothing) {
  std::ostringstream errors;
  hidraw::System system{hidraw::detail::MakeUdevDirectory(kMissingLibrary, errors),
                        hidraw::detail::MakeKernelIo()};
  hidraw::Registration registration(std::move(system));
  EXPECT_FALSE(registration.Watching());
  {
    hidrawtest::Api api;
    HDEVINFO set = api.GetClassDevs(&kHidInterfaceClassGuid, nullptr, nullptr,
                                    DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    ASSERT_NE(set, INVALID_HANDLE_VALUE);
    SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = sizeof(data);
    EXPECT_FALSE(api.EnumInterfaces(set, nullptr, &kHidInterfaceClassGuid, 0, &data));
    EXPECT_TRUE(api.DestroyList(set));
  }
  EXPECT_EQ(Lines(errors.str()), 1) << errors.str();
}

}  // namespace
