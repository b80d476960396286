#include "host/SafeFiles.h"

#include <cstdio>
#include <random>

namespace host {
namespace {

class RefusalCategory : public std::error_category {
 public:
  const char* name() const noexcept override { return "file refusal"; }
  std::string message(int code) const override {
    switch (static_cast<FileRefusal>(code)) {
      case FileRefusal::kNotRegular:
        return "not a regular file (a link, a pipe, a device or a folder)";
      case FileRefusal::kOtherOwner:
        return "the file belongs to another user";
      case FileRefusal::kTooLarge:
        return "the file is too large";
    }
    return "refused";
  }
};

bool Missing(const std::error_code& error) {
  return error == std::errc::no_such_file_or_directory;
}

}  // namespace

std::string detail::UnguessableSuffix() {
  std::random_device random;
  std::string suffix = ".";
  for (int part = 0; part < 4; ++part) {
    char hex[16];
    std::snprintf(hex, sizeof(hex), "%08x", random());
    suffix += hex;
  }
  return suffix + ".tmp";
}

std::error_code make_error_code(FileRefusal refusal) {
  static const RefusalCategory category;
  return {static_cast<int>(refusal), category};
}

std::error_code ReplaceFile(const std::filesystem::path& path, std::string_view text,
                            std::optional<unsigned> mode, bool* writing) {
  if (writing != nullptr) *writing = false;
  std::error_code refused;
  {
    NewFileBeside file(path, mode);
    if (file.Created()) {
      if (const std::error_code error = file.WriteAll(text)) {
        if (writing != nullptr) *writing = true;
        return error;
      }
      refused = file.MoveOver();
    } else {
      refused = file.Error();
    }
    if (!refused) return {};
    if (!IsRefusal(refused)) return refused;
  }  // the new file is gone before the old one is written
  const std::error_code error = RewriteInPlace(path, text, writing);
  // With no file to write in place, what counts is why none could be made.
  return Missing(error) ? refused : error;
}

std::error_code RemoveOrEmpty(const std::filesystem::path& path) {
  const std::error_code error = RemoveName(path);
  if (!IsRefusal(error)) return error;
  return RewriteInPlace(path, {});
}

}  // namespace host
