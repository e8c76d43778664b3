// Drive letters on Windows are the system's own: a letter maps to its root.
#include "platform/drive_map.h"

#include <cctype>

BOOL drive_map_lookup(char letter, DriveMapping* mapping)
{
    const char upper = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
    if (upper < 'A' || upper > 'Z') {
        return FALSE;
    }
    const char root[] = {upper, ':', '\\', '\0'};
    const UINT type = GetDriveTypeA(root);
    if (type == DRIVE_UNKNOWN || type == DRIVE_NO_ROOT_DIR) {
        return FALSE;
    }
    char fs_name[MAX_PATH + 1] = {};
    if (!GetVolumeInformationA(root, nullptr, 0, nullptr, nullptr, nullptr, fs_name, sizeof fs_name)) {
        fs_name[0] = '\0';
    }
    *mapping = DriveMapping{upper, type, root, fs_name, false, 0};
    return TRUE;
}
