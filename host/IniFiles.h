// TMemIniFile: an ini file held in memory. UpdateFile writes back everything that was parsed —
// other sections, unknown keys, comments and their order survive a round trip.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <vector>

namespace host {

// The largest file read: an ini file is a few lines, and whatever any account leaves under the
// name is read at every start.
inline constexpr std::size_t kMaxFileSize = 64 * 1024;

class TMemIniFile {
 public:
  // Reads the file if it exists; a missing file is an empty ini. A file that exists but cannot be
  // read raises EInOutError: so does one that is no regular file (a link to one is), or holds more
  // than kMaxFileSize bytes, which is not read at all (ErrorCode EFBIG).
  explicit TMemIniFile(std::string fileName);
  // Over content already read: `text` stands for the file's bytes; nothing is read.
  TMemIniFile(std::string fileName, const std::string& text);

  const std::string& FileName() const { return fileName_; }

  bool SectionExists(const std::string& section) const;
  std::vector<std::string> ReadSections() const;
  std::vector<std::string> ReadSection(const std::string& section) const;  // key names, in order

  std::string ReadString(const std::string& section, const std::string& ident,
                         const std::string& fallback) const;
  long long ReadInteger(const std::string& section, const std::string& ident,
                        long long fallback) const;
  bool ReadBool(const std::string& section, const std::string& ident, bool fallback) const;

  // A write that the file could not give back as written is refused: nothing changes, and the
  // result is false. Reading trims blanks and ends a line at CR or LF, so no name or value may
  // hold a line break nor begin or end with a space or tab; a key may also not be empty, hold
  // '=' nor begin with '[', ';' or '#', which would make its line a section or a comment.
  bool WriteString(const std::string& section, const std::string& ident, const std::string& value);
  bool WriteInteger(const std::string& section, const std::string& ident, long long value);
  bool WriteBool(const std::string& section, const std::string& ident, bool value);

  // The whole content as UpdateFile writes it.
  std::string Text() const;
  // Writes the whole content back to FileName; raises EInOutError when it cannot. The text goes
  // to a new file beside it, which then takes the old one's place (with the old one's permission
  // bits), so that a write failing half-way — a full disk, a power cut — leaves the old text
  // whole, and no new file behind. A file that may not be written is refused, also when its
  // folder would let it be replaced. Where the folder lets no new file be made, or keeps the file
  // from being replaced, the file is written in place (host/SafeFiles.h). A link is followed: the
  // file it leads to is replaced. A device or a pipe is written to, not replaced.
  void UpdateFile() const;

  // Where things stood in the file (1-based line numbers; 0 when not from the file), so that a
  // reader can say which line is wrong.
  int LineOfSection(const std::string& section) const;
  int LineOfValue(const std::string& section, const std::string& ident) const;
  // Lines that were neither a section header, a key=value pair, a comment nor blank.
  struct BadLine {
    int line;
    std::string text;
  };
  const std::vector<BadLine>& MalformedLines() const { return malformed_; }

 private:
  struct Entry {
    std::string key;    // empty for a comment, blank or malformed line kept verbatim
    std::string value;  // the value, or the verbatim line
    int line = 0;
  };
  // Names are looked up by their upper-case form through an index of the first of each, so
  // that reading a whole file name by name takes time in proportion to its size.
  using Index = std::map<std::string, std::size_t>;
  struct Section {
    std::string name;
    std::vector<Entry> entries;
    int line = 0;
    Index firstOfKey;  // into entries
  };

  void Parse(const std::string& text);
  const Section* FindSection(const std::string& name) const;
  Section& SectionFor(const std::string& name);
  const Entry* FindEntry(const std::string& section, const std::string& ident) const;

  std::string fileName_;
  // Written back when the file had it, also so that the text after it is read the same again.
  bool byteOrderMark_ = false;
  std::vector<Entry> preamble_;  // lines before the first section
  std::vector<Section> sections_;
  Index firstOfSection_;  // into sections_
  std::vector<BadLine> malformed_;
};

}  // namespace host
