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

// An account: its own name and the groups it counts in.
struct Account {
  const char* name;
  std::array<const char*, 2> groups;
};
constexpr Account kAnna{"anna", {kUsers, ""}};
constexpr Account kAdmin{"admin", {kAdministrators, kUsers}};
// Named on its own, as in the system's own folders, so that its rights do not hang on the
// administrators' entry.
constexpr Account kSystemAccount{"system", {kSystem, ""}};

enum class Object { Folder, Installed, Created };

// What `who` may do to the object: the folder, a file the installer placed, or a file `owner`
// created in the folder.
std::uint32_t Access(const std::vector<Entry>& table, Object object, const Account& who,
                     const std::string& owner = "admin") {
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

bool Has(std::uint32_t granted, std::uint32_t wanted) {
  return (granted & wanted) == wanted;
}

// Who may do what, as README's table says: a user, an administrator, the system.
struct Verdicts {
  std::vector<bool> user, admin, system;
};

Verdicts Judge(const std::vector<Entry>& table) {
  Verdicts v;
  for (const Account* a : {&kAnna, &kAdmin, &kSystemAccount}) {
    const std::uint32_t folder = Access(table, Object::Folder, *a);
    const std::uint32_t installed = Access(table, Object::Installed, *a);
    const std::uint32_t bensFile = Access(table, Object::Created, *a, "ben");
    std::vector<bool>& out = a == &kAnna ? v.user : a == &kAdmin ? v.admin : v.system;
    out = {
        Has(folder, kRead),                                        // list the folder
        Has(installed, kRead | kExecute),                          // run a program, read README
        Has(folder, kAddFile),                                     // create a file
        Has(folder, kAddFolder),                                   // create a subfolder
        Has(installed, kAddFile),                                  // write into an installed file
        Has(installed, kDelete) || Has(folder, kDeleteChild),      // rename, replace or delete it
        Has(installed, kWriteDac) || Has(installed, kWriteOwner),  // change its rights
        Has(bensFile, kAddFile),                                   // rewrite another's result
        Has(bensFile, kDelete) || Has(folder, kDeleteChild),       // replace or delete it
        Has(folder, kWriteDac) || Has(folder, kWriteOwner),        // change the folder's rights
    };
  }
  // A file one made: whether its maker could lock the others out of it.
  v.user.push_back(Has(Access(table, Object::Created, kAnna, "anna"), kWriteDac));
  v.admin.push_back(true);
  v.system.push_back(true);
  return v;
}

TEST(FolderRights, EachAccountMayDoWhatTheTableSaysAndEveryEntryCounts) {
  const std::vector<Entry> table = ReadTable();
  ASSERT_FALSE(table.empty()) << TILL_FOLDER_RIGHTS;
  const Verdicts v = Judge(table);
  const std::vector<bool> all(v.user.size(), true);
  EXPECT_EQ(v.user, (std::vector<bool>{true, true, true, false, false, false, false, true, true,
                                       false, false}));
  EXPECT_EQ(v.admin, all);
  EXPECT_EQ(v.system, all);
  // Without any one of its entries the folder would behave otherwise: none is there for show.
  for (std::size_t i = 0; i < table.size(); ++i) {
    std::vector<Entry> without = table;
    without.erase(without.begin() + static_cast<std::ptrdiff_t>(i));
    const Verdicts w = Judge(without);
    EXPECT_TRUE(w.user != v.user || w.admin != v.admin || w.system != v.system)
        << "the entry " << table[i].step << " " << table[i].principal << " changes nothing";
  }
}

}  // namespace
