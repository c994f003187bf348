#include "suite/DirectoryEntries.h"

#include <algorithm>
#include <map>

namespace Quarn_v2 {

using D = DirectorySet;
using W = WorkingFields;
using P = Product;

// clang-format off
const std::array<DirectoryEntry, 10> DirectoryEntries = {{
    // key, member, NETWORK field, LOCAL field, Save's key, copied to NETWORK,
    // check N/L, tab N/L, staged, read from, written to
    {"QXADATADIR", &D::QXADATADIR, "txtNetworkQXADataDir", "txtLocalQXAdataDir", "QXAdataDir", true,
     1, 5, 1, 2, &W::txtQXAdataDir, {P::Kav, "DataDir"}, {{{P::Kav, "DataDir"}}}},
    {"QXPPDATADIR", &D::QXPPDATADIR, "txtNetworkQXPPdataDir", "txtLocalQXPPdataDir", "QXPPDATADIR", true,
     2, 6, 3, 4, &W::txtQXPPdataDir, {P::Qxp2000, "DataDir"}, {{{P::Qxp2000, "DataDir"}}}},
    {"QXPPPHOTODIR", &D::QXPPPHOTODIR, "txtNetworkQXPPphotoDir", "txtLocalQXPPphotoDir", "QXPPphotoDir", true,
     3, 7, 5, 6, &W::txtQXPPphotoDir, {P::Qxp2000, "PhotoDir"}, {{{P::Qxp2000, "PhotoDir"}}}},
    {"APEXDATADIR", &D::APEXDATADIR, "txtNetworkAPEXDataDir", "txtLocalApexDataDir", "ApexdataDir", true,
     4, 8, 9, 10, nullptr, {}, {}},
    {"QXPDATADIR", &D::QXPDATADIR, "txtNetworkQXPdataDir", "txtLocalQXPdataDir", nullptr, false,
     9, 14, 13, 17, &W::txtQXPdataDir, {P::PhotoKpr, "DataDir"}, {{{P::PhotoKpr, "DataDir"}}}},
    {"QXPPHOTODIR", &D::QXPPHOTODIR, "txtNetworkQXPphotoDir", "txtLocalQXPphotoDir", nullptr, false,
     10, 15, 16, 18, &W::txtQXPphotoDir, {P::PhotoKpr, "PhotoDir"}, {{{P::PhotoKpr, "PhotoDir"}}}},
    {"QXCDATADIR", &D::QXCDATADIR, "txtNetworkQXCdataDir", "txtLocalQXCdataDir", nullptr, false,
     11, 16, 15, 19, &W::txtQXCdataDir, {P::CompKpr, "DataDir"}, {{{P::CompKpr, "DataDir"}}}},
    {"QXODATADIR", &D::QXODATADIR, "txtNetworkQXOdataDir", "txtLocalQXOdataDir", nullptr, false,
     12, 17, 14, 20, &W::txtQXOdataDir, {P::OfcKpr, "DataDir"},
     {{{P::OfcKpr, "AppDir"}, {P::OfcKpr, "DataDir"}, {P::OfcKpr, "UserDir"}}}},
    {"QXSDATADIR", &D::QXSDATADIR, "txtNetworkQXSdataDir", "txtLocalQXSdataDir", "QXsDataDir", true,
     13, 18, 7, 8, &W::txtQXSdataDir, {P::DrawKit, "DataDir"}, {{{P::DrawKit, "DataDir"}}}},
    {"OPLDATADIR", nullptr, "txtNetworkQXopdataDir", "txtLocalQXopDataDir", nullptr, false,
     0, 0, 21, 22, nullptr, {}, {}},
}};
// clang-format on

QString& DirectorySet::operator[](int i) {
    return this->*DirectoryEntries.at(i).member;
}

const QString& DirectorySet::operator[](int i) const {
    return this->*DirectoryEntries.at(i).member;
}

const std::vector<CheckedField>& CheckOrder() {
    static const std::vector<CheckedField> order = [] {
        std::map<int, CheckedField> at;
        for (const DirectoryEntry& e : DirectoryEntries) {
            if (e.checkNetwork)
                at[e.checkNetwork] = {e.networkField, "NETWORK", e.key};
            if (e.checkLocal)
                at[e.checkLocal] = {e.localField, "LOCAL", e.key};
        }
        std::vector<CheckedField> out;
        for (const auto& [place, field] : at)
            out.push_back(field);
        return out;
    }();
    return order;
}

} // namespace Quarn_v2
