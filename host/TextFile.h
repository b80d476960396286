// Text files with the host framework's routine names. Every failure raises EInOutError carrying
// the system error code.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

namespace host {

class TextFile {
 public:
  TextFile() = default;
  TextFile(TextFile&&) noexcept = default;
  TextFile& operator=(TextFile&&) noexcept = default;
  ~TextFile();  // an open file is closed quietly

  void AssignFile(const std::string& path) { path_ = path; }
  const std::string& Path() const { return path_; }
  // Creates the file, replacing an existing one.
  void Rewrite();
  // Writes the text and CR LF, whatever the platform: the callers' readers expect that pair.
  void WriteLn(const std::string& text);
  void CloseFile();
  void Erase();
  bool IsOpen() const { return file_ != nullptr; }

 private:
  struct Closer {
    void operator()(std::FILE* f) const { std::fclose(f); }
  };
  std::string path_;
  std::unique_ptr<std::FILE, Closer> file_;
};

}  // namespace host
