#include "host/TextFile.h"

#include <cerrno>
#include <system_error>

#include "host/Exception.h"
#include "host/SysUtils.h"

namespace host {
namespace {

[[noreturn]] void Fail(const std::string& what, const std::string& path, int error) {
  throw EInOutError(what + " \"" + path + "\": " + std::generic_category().message(error), error);
}

}  // namespace

TextFile::~TextFile() = default;

void TextFile::Rewrite() {
  file_.reset();
  errno = 0;
  std::FILE* f = OpenFile(path_, "wb");
  if (f == nullptr) Fail("Cannot create file", path_, errno != 0 ? errno : EIO);
  file_.reset(f);
}

void TextFile::WriteLn(const std::string& text) {
  if (!file_) Fail("File not open", path_, EBADF);
  std::string line = text + "\r\n";
  errno = 0;
  if (std::fwrite(line.data(), 1, line.size(), file_.get()) != line.size()) {
    Fail("Cannot write file", path_, errno != 0 ? errno : EIO);
  }
}

void TextFile::CloseFile() {
  if (!file_) Fail("File not open", path_, EBADF);
  std::FILE* f = file_.release();
  errno = 0;
  // fclose flushes: a full disk shows up here, and must not be taken for success.
  if (std::fclose(f) != 0) Fail("Cannot close file", path_, errno != 0 ? errno : EIO);
}

void TextFile::Erase() {
  if (file_) Fail("Cannot erase an open file", path_, EBUSY);
  std::error_code ec;
  if (!std::filesystem::remove(FsPath(path_), ec)) {
    Fail("Cannot erase file", path_, ec ? ec.value() : ENOENT);
  }
}

}  // namespace host
