// The disk behind every drive letter, looked up once at Start: the start
// lines name it, and the machine-readable results carry it.
#pragma once

#include <string>
#include <vector>

#include "records/drive.h"
#include "platform/disk_identity.h"

struct DriveIdentity {
    const Drive* drive;
    std::string letter;     // "C:"
    std::string directory;  // the directory the letter is mapped to
    DiskIdentity disk;
};

// Looks up every drive of the drive list and writes one headless line per
// drive: "durandex: C: /srv/x ext4 on /dev/vda1 254:1 (disk /dev/vda ...)".
void identify_drives();

// What identify_drives found, by letter; empty before it ran.
const std::vector<DriveIdentity>& drive_identities();
