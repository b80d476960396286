// What the Windows install folder's access list allows, worked out from its table the way
// Windows' access check does (allow entries only; a file created in the folder inherits the
// entries marked (OI); the owner's implicit READ_CONTROL and WRITE_DAC unless an OWNER RIGHTS
// entry applies). Wine keeps no access lists, so this is where the entries are judged.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

// The masks Microsoft documents for icacls's notation and for the rights checked.
// FILE_WRITE_DATA on a file is FILE_ADD_FILE on a folder.
constexpr std::uint32_t kRead = 0x1, kAddFile = 0x2, kAddFolder = 0x4, kExecute = 0x20,
                        kDeleteChild = 0x40, kDelete = 0x10000, kReadControl = 0x20000,
                        kWriteDac = 0x40000, kWriteOwner = 0x80000;

std::uint32_t Mask(const std::string& rights) {
  if (rights == "F") return 0x1F01FF;
  if (rights == "M") return 0x1301BF;
  if (rights == "RX") return 0x1200A9;
  if (rights == "(WD)") return kAddFile;
  ADD_FAILURE() << "a right this test does not know: " << rights;
  return 0;
}

struct Entry {
  std::string step, principal, inheritance;
  std::uint32_t mask = 0;
};

std::vector<Entry> ReadTable() {
  std::ifstream in(TILL_FOLDER_RIGHTS);
  std::vector<Entry> table;
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream row(line);
    Entry e;
    std::string rights;
    row >> e.step >> e.principal >> e.inheritance >> rights;
    e.mask = Mask(rights);
    table.push_back(e);
  }
  return table;
}

constexpr const char* kSystem = "*S-1-5-18";
constexpr const char* kAdministrators = "*S-1-5-32-544";
constexpr const char* kUsers = "*S-1-5-32-545";
constexpr const char* kOwnerRights = "*S-1-3-4";

// An account: its own name and the groups it counts in. SYSTEM stands on its own, as in the
// system's own folders, so that its rights do not hang on the administrators' entry.
struct Account {
  const char* name;
  std::array<const char*, 2> groups;
};
constexpr std::array<Account, 3> kAccounts{
    {{"anna", {kUsers, ""}}, {"admin", {kAdministrators, kUsers}}, {"system", {kSystem, ""}}}};

enum class Object { Folder, Installed, Created };

// What `who` may do to the object: the folder, a file the installer placed, or a file `owner`
// created in the folder.
std::uint32_t Access(const std::vector<Entry>& table, Object object, const Account& who,
                     const std::string& owner) {
  bool ownerRightsListed = false;
  std::uint32_t granted = 0;
  for (const Entry& e : table) {
    const bool applies = object == Object::Folder
                             ? e.step != "protect" && e.inheritance.find("IO") == std::string::npos
                         : object == Object::Installed
                             ? e.step == "protect"
                             : e.step != "protect" && e.inheritance.find("OI") != std::string::npos;
    if (!applies) continue;
    if (e.principal == kOwnerRights) {
      ownerRightsListed = true;
      if (who.name == owner) granted |= e.mask;
    }
    for (const char* group : who.groups) {
      if (e.principal == group) granted |= e.mask;
    }
  }
  if (who.name == owner && !ownerRightsListed) granted |= kReadControl | kWriteDac;
  return granted;
}

// Per account (anna, an administrator, SYSTEM), 'y' or 'n' for each line of README's table:
// list the folder; run a program; create a file; create a subfolder; write into an installed
// file; rename, replace or delete it; change its rights; rewrite another's result; replace or
// delete it; change the folder's rights; lock the others out of a file one made.
std::vector<std::string> Judge(const std::vector<Entry>& table) {
  std::vector<std::string> verdicts;
  for (const Account& a : kAccounts) {
    const std::uint32_t folder = Access(table, Object::Folder, a, "admin");
    const std::uint32_t installed = Access(table, Object::Installed, a, "admin");
    const std::uint32_t bens = Access(table, Object::Created, a, "ben");
    const std::uint32_t own = Access(table, Object::Created, a, a.name);
    const auto has = [](std::uint32_t granted, std::uint32_t wanted) {
      return (granted & wanted) == wanted;
    };
    std::string v;
    for (const bool may :
         {has(folder, kRead), has(installed, kRead | kExecute), has(folder, kAddFile),
          has(folder, kAddFolder), has(installed, kAddFile),
          has(installed, kDelete) || has(folder, kDeleteChild),
          has(installed, kWriteDac) || has(installed, kWriteOwner), has(bens, kAddFile),
          has(bens, kDelete) || has(folder, kDeleteChild),
          has(folder, kWriteDac) || has(folder, kWriteOwner), has(own, kWriteDac)}) {
      v += may ? 'y' : 'n';
    }
    verdicts.push_back(v);
  }
  return verdicts;
}

TEST(FolderRights, EachAccountMayDoWhatTheTableSaysAndEveryEntryCounts) {
  const std::vector<Entry> table = ReadTable();
  ASSERT_FALSE(table.empty()) << TILL_FOLDER_RIGHTS;
  const std::vector<std::string> verdicts = Judge(table);
  EXPECT_EQ(verdicts, (std::vector<std::string>{"yyynnnnyynn", "yyyyyyyyyyy", "yyyyyyyyyyy"}));
  // Without any one of its entries the folder would behave otherwise: none is there for show.
  for (std::size_t i = 0; i < table.size(); ++i) {
    std::vector<Entry> without = table;
    without.erase(without.begin() + static_cast<std::ptrdiff_t>(i));
    EXPECT_NE(Judge(without), verdicts)
        << "the entry " << table[i].step << " " << table[i].principal << " changes nothing";
  }
}

}  // namespace
