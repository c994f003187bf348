#pragma once
// The suite's directory entries in one table: each directory's QUARN2.INI
// key, its two Settings fields, where the products keep it, and its place in
// every order the program follows. The switch, the Settings dialog, the
// directory check and quarnctl all read their lists from here.
// One directory goes by several names (key QXADATADIR, staged field
// txtQXAdataDir, fields txtNetworkQXADataDir and txtLocalQXAdataDir, Save's
// key QXAdataDir): this table is where to look each spelling up.

#include "suite/DirectorySet.h"

#include <array>
#include <vector>

namespace Quarn_v2 {

// The product INI files, in ProductFileNames order.
enum class Product { Kav, Qxp2000, Opl, PhotoKpr, CompKpr, OfcKpr, DrawKit, None };

struct ProductKey {
    Product file = Product::None; // None: no key
    const char* key = nullptr;    // in section "Directories"
};

struct DirectoryEntry {
    const char* key;               // in [LOCAL] and [NETWORK] of QUARN2.INI
    QString DirectorySet::*member; // its place in a set; null for the one no set holds
    const char* networkField;      // the dialog's fields
    const char* localField;
    const char* saveKey;            // the spelling Save writes, in table order, or null
    bool copiedToNetwork;           // Save copies the NETWORK field into NetworkSet
    int checkNetwork, checkLocal;   // 1 to 18: place in the directory check; 0: not checked
    int tabNetwork, tabLocal;       // place in the dialog's tab order (0 Exit, 11 Cancel, 12 Save)
    QString WorkingFields::*staged; // the WorkingSet entry, or null (Apex, office plus)
    ProductKey current;             // where start-up reads the current value
    std::array<ProductKey, 3> writes; // what a switch writes, in its order
};

// In a set's record order (the order of the switch's writes), the office
// plus directory, which no set holds, last.
extern const std::array<DirectoryEntry, 10> DirectoryEntries;
// The nine of a DirectorySet.
constexpr int kSetSize = 9;

// A field of the check, with the section and key it is loaded from.
struct CheckedField {
    const char* field;
    const char* section;
    const char* key;
};
// The eighteen checked fields in the check's order.
const std::vector<CheckedField>& CheckOrder();

} // namespace Quarn_v2
