#include "shell/drive_identities.h"

#include <algorithm>

#include "records/run_settings.h"
#include "platform/drive_map.h"
#include "platform/run_output.h"

namespace {

std::vector<DriveIdentity> identities;

DriveIdentity identity_of(const Drive* drive)
{
    DriveIdentity identity{drive, std::string(drive->root_path, 2), "", {}};
    DriveMapping mapping;
    if (drive_map_lookup(drive->root_path[0], &mapping)) {
        identity.directory = mapping.directory;
        identity.disk = disk_identity_of(mapping.directory);
    }
    return identity;
}

}  // namespace

void identify_drives()
{
    identities.clear();
    for (const Drive* drive = run_settings.drive_list; drive != nullptr; drive = drive->next) {
        identities.push_back(identity_of(drive));
    }
    std::sort(identities.begin(), identities.end(),
              [](const DriveIdentity& a, const DriveIdentity& b) { return a.letter < b.letter; });
    for (const DriveIdentity& identity : identities) {
        run_output_line("durandex: " + identity.letter + " " + identity.directory + " " +
                        disk_identity_text(identity.disk));
    }
}

const std::vector<DriveIdentity>& drive_identities()
{
    return identities;
}
