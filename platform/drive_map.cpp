#include "platform/drive_map.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <climits>
#include <fstream>
#include <mutex>
#include <set>
#include <sstream>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include "platform/settings.h"

namespace {

const char* const mounts_table_path = "/proc/self/mounts";

// Filesystems that hold no user data: never offered as drives.
const std::set<std::string> pseudo_filesystems = {
    "proc",       "sysfs",    "cgroup",  "cgroup2",    "devpts",      "devtmpfs",
    "mqueue",     "debugfs",  "tracefs", "securityfs", "pstore",      "bpf",
    "autofs",     "fusectl",  "configfs", "binfmt_misc", "hugetlbfs", "nsfs",
    "rpc_pipefs", "efivarfs", "selinuxfs"};

const std::set<std::string> cdrom_filesystems = {"iso9660", "udf", "fuse.fuseiso"};
const std::set<std::string> remote_filesystems = {"nfs",  "nfs4", "cifs",      "smb3",
                                                  "9p",   "ceph", "glusterfs", "fuse.sshfs"};
const std::set<std::string> ramdisk_filesystems = {"tmpfs", "ramfs"};

struct DriveTable {
    bool configured = false;
    std::array<DriveMapping, 26> drives{};
    std::array<bool, 26> mapped{};
};

std::mutex table_mutex;

DriveTable& drive_table()
{
    static auto* table = new DriveTable();
    return *table;
}

std::string read_text_file(const char* path)
{
    std::ifstream stream(path);
    std::ostringstream text;
    text << stream.rdbuf();
    return text.str();
}

bool is_octal_digit(char c)
{
    return c >= '0' && c <= '7';
}

std::string decode_mount_field(const std::string& field)
{
    std::string decoded;
    for (std::string::size_type i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && is_octal_digit(field[i + 1]) &&
            is_octal_digit(field[i + 2]) && is_octal_digit(field[i + 3])) {
            decoded.push_back(static_cast<char>(std::stoi(field.substr(i + 1, 3), nullptr, 8)));
            i += 3;
        } else {
            decoded.push_back(field[i]);
        }
    }
    return decoded;
}

bool path_is_under(const std::string& path, const std::string& directory)
{
    if (directory == "/") {
        return true;
    }
    return path == directory ||
           (path.size() > directory.size() && path.compare(0, directory.size(), directory) == 0 &&
            path[directory.size()] == '/');
}

bool is_system_mount(const MountEntry& mount)
{
    if (pseudo_filesystems.count(mount.fs_type) != 0) {
        return true;
    }
    if (path_is_under(mount.mount_point, "/dev/shm")) {
        return false;
    }
    for (const char* system_directory : {"/proc", "/sys", "/run", "/dev"}) {
        if (path_is_under(mount.mount_point, system_directory)) {
            return true;
        }
    }
    return false;
}

// Bind mounts of single files (containers mount /etc/hosts that way) are not
// drives; a mount point that cannot be examined is kept.
bool is_file_mount(const MountEntry& mount)
{
    struct stat status {};
    return stat(mount.mount_point.c_str(), &status) == 0 && !S_ISDIR(status.st_mode);
}

bool sysfs_flag_set(const std::string& path)
{
    return read_text_file(path.c_str()).rfind('1', 0) == 0;
}

// A partition has no "removable" of its own; its disk, the parent directory
// in sysfs, has.
bool block_device_is_removable(const std::string& mount_point)
{
    struct stat status {};
    if (stat(mount_point.c_str(), &status) != 0 || major(status.st_dev) == 0) {
        return false;
    }
    const std::string device_directory = "/sys/dev/block/" + std::to_string(major(status.st_dev)) +
                                         ":" + std::to_string(minor(status.st_dev));
    char resolved[PATH_MAX];
    if (realpath(device_directory.c_str(), resolved) == nullptr) {
        return false;
    }
    const std::string device = resolved;
    if (sysfs_flag_set(device + "/removable")) {
        return true;
    }
    return sysfs_flag_set(device.substr(0, device.rfind('/')) + "/removable");
}

std::string lower_case(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

bool parse_drive_type(const std::string& name, UINT* type)
{
    static const std::pair<const char*, UINT> types[] = {
        {"removable", DRIVE_REMOVABLE}, {"fixed", DRIVE_FIXED},    {"remote", DRIVE_REMOTE},
        {"cdrom", DRIVE_CDROM},         {"ramdisk", DRIVE_RAMDISK}};
    for (const auto& [type_name, value] : types) {
        if (lower_case(name) == type_name) {
            *type = value;
            return true;
        }
    }
    return false;
}

std::string without_trailing_slashes(std::string path)
{
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

// The type and fstype of a drive whose setting gives no type: those of the
// filesystem that holds its directory.
void detect_drive_type(DriveMapping* drive)
{
    MountEntry mount;
    if (mount_of_path(drive->directory, &mount)) {
        drive->fs_type = mount.fs_type;
        if (drive->type == DRIVE_UNKNOWN) {
            drive->type = drive_type_of_mount(mount);
        }
    }
    if (drive->type == DRIVE_UNKNOWN) {
        drive->type = DRIVE_FIXED;
    }
}

bool malformed(const std::string& entry, const char* expected, std::string* error)
{
    *error = setting_problem(Setting::Drives, "entry", entry, expected);
    return false;
}

bool parse_drive_entry(const std::string& entry, DriveMapping* drive, std::string* error)
{
    const std::string::size_type equals = entry.find('=');
    if (equals == std::string::npos) {
        return malformed(entry, "X=PATH or X:TYPE=PATH", error);
    }
    const std::string name = entry.substr(0, equals);
    const std::string path = entry.substr(equals + 1);
    if (name.empty() || !std::isalpha(static_cast<unsigned char>(name[0])) ||
        (name.size() > 1 && name[1] != ':')) {
        return malformed(entry, "a drive letter before '=' or ':'", error);
    }
    drive->letter = static_cast<char>(std::toupper(static_cast<unsigned char>(name[0])));
    drive->type = DRIVE_UNKNOWN;
    if (name.size() > 1 && !parse_drive_type(name.substr(2), &drive->type)) {
        return malformed(entry, "a type of removable, fixed, remote, cdrom or ramdisk", error);
    }
    if (path.empty()) {
        return malformed(entry, "a path after '='", error);
    }
    if (path[0] != '/') {
        return malformed(entry, "an absolute path", error);
    }
    drive->directory = without_trailing_slashes(path);
    return true;
}

bool is_separator(char c)
{
    return c == '\\' || c == '/';
}

bool is_valid_name_character(char c)
{
    return static_cast<unsigned char>(c) >= 32 && std::string("<>:\"|?*").find(c) == std::string::npos;
}

// Splits the part after "X:" into components, resolving "." and ".."
// lexically. FALSE with the code when a name is malformed or ".." would
// climb above the drive's directory.
bool resolve_components(const char* rest, std::vector<std::string>* components, DWORD* code)
{
    std::string component;
    auto finish_component = [&]() {
        if (component == "..") {
            if (components->empty()) {
                *code = ERROR_PATH_NOT_FOUND;
                return false;
            }
            components->pop_back();
        } else if (!component.empty() && component != ".") {
            components->push_back(component);
        }
        component.clear();
        return true;
    };
    for (const char* c = rest; *c != '\0'; ++c) {
        if (is_separator(*c)) {
            if (!finish_component()) {
                return false;
            }
        } else if (!is_valid_name_character(*c)) {
            *code = ERROR_INVALID_NAME;
            return false;
        } else {
            component.push_back(*c);
        }
    }
    return finish_component();
}

void install_drives(DriveTable* table, const std::vector<DriveMapping>& drives)
{
    table->mapped.fill(false);
    for (const DriveMapping& drive : drives) {
        const int index = drive.letter - 'A';
        table->drives[index] = drive;
        table->mapped[index] = true;
        // A disc or a removable medium is changed under its drive as a
        // matter of course; only the other drives are held to the
        // filesystem they were found on.
        const bool media_change_expected = drive.type == DRIVE_CDROM || drive.type == DRIVE_REMOVABLE;
        struct stat status {};
        if (!media_change_expected && stat(drive.directory.c_str(), &status) == 0) {
            table->drives[index].device_known = true;
            table->drives[index].device = status.st_dev;
        }
    }
    table->configured = true;
}

// The drives of DURANDEX_DRIVES, or of the mounts table when it is unset.
bool drives_from_environment(std::vector<DriveMapping>* drives, std::string* error)
{
    const std::string& setting = setting_text(Setting::Drives);
    if (setting.empty()) {
        *drives = drives_from_mounts(read_text_file(mounts_table_path));
        return true;
    }
    return parse_drive_setting(setting, drives, error);
}

}  // namespace

std::vector<MountEntry> parse_mounts(const std::string& mounts_text)
{
    std::vector<MountEntry> mounts;
    std::istringstream lines(mounts_text);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string device;
        std::string mount_point;
        std::string fs_type;
        if (fields >> device >> mount_point >> fs_type) {
            mounts.push_back(MountEntry{decode_mount_field(device), decode_mount_field(mount_point),
                                        decode_mount_field(fs_type)});
        }
    }
    return mounts;
}

UINT drive_type_of_mount(const MountEntry& mount)
{
    if (cdrom_filesystems.count(mount.fs_type) != 0) {
        return DRIVE_CDROM;
    }
    if (remote_filesystems.count(mount.fs_type) != 0) {
        return DRIVE_REMOTE;
    }
    if (ramdisk_filesystems.count(mount.fs_type) != 0) {
        return DRIVE_RAMDISK;
    }
    return block_device_is_removable(mount.mount_point) ? DRIVE_REMOVABLE : DRIVE_FIXED;
}

BOOL mount_of_path(const std::string& native_path, MountEntry* mount)
{
    char resolved[PATH_MAX];
    const std::string path = realpath(native_path.c_str(), resolved) != nullptr ? resolved : native_path;
    bool found = false;
    // Later lines mount over earlier ones, so the last longest match wins.
    for (const MountEntry& candidate : parse_mounts(read_text_file(mounts_table_path))) {
        if (path_is_under(path, candidate.mount_point) &&
            (!found || candidate.mount_point.size() >= mount->mount_point.size())) {
            *mount = candidate;
            found = true;
        }
    }
    return found ? TRUE : FALSE;
}

BOOL parse_drive_setting(const std::string& text, std::vector<DriveMapping>* drives, std::string* error)
{
    std::vector<DriveMapping> parsed;
    std::array<bool, 26> seen{};
    std::istringstream entries(text);
    std::string entry;
    while (std::getline(entries, entry, ';')) {
        if (entry.empty()) {
            continue;
        }
        DriveMapping drive{};
        if (!parse_drive_entry(entry, &drive, error)) {
            return FALSE;
        }
        if (seen[drive.letter - 'A']) {
            malformed(entry, "each drive letter once", error);
            return FALSE;
        }
        seen[drive.letter - 'A'] = true;
        detect_drive_type(&drive);
        parsed.push_back(drive);
    }
    *drives = parsed;
    return TRUE;
}

std::vector<DriveMapping> drives_from_mounts(const std::string& mounts_text)
{
    // One entry per mount point: the last line is the filesystem on top.
    std::vector<MountEntry> mounts;
    for (const MountEntry& mount : parse_mounts(mounts_text)) {
        if (is_system_mount(mount) || is_file_mount(mount)) {
            continue;
        }
        mounts.erase(std::remove_if(mounts.begin(), mounts.end(),
                                    [&](const MountEntry& m) { return m.mount_point == mount.mount_point; }),
                     mounts.end());
        mounts.push_back(mount);
    }
    std::sort(mounts.begin(), mounts.end(),
              [](const MountEntry& a, const MountEntry& b) { return a.mount_point < b.mount_point; });
    std::vector<DriveMapping> drives;
    char next_letter = 'D';
    for (const MountEntry& mount : mounts) {
        char letter = 'C';
        if (mount.mount_point != "/") {
            if (next_letter > 'Z') {
                continue;
            }
            letter = next_letter++;
        }
        drives.push_back(DriveMapping{letter, drive_type_of_mount(mount), mount.mount_point, mount.fs_type});
    }
    std::sort(drives.begin(), drives.end(),
              [](const DriveMapping& a, const DriveMapping& b) { return a.letter < b.letter; });
    return drives;
}

BOOL drive_map_configure(const char* setting, std::string* error)
{
    std::vector<DriveMapping> drives;
    if (setting == nullptr) {
        drives = drives_from_mounts(read_text_file(mounts_table_path));
    } else if (!parse_drive_setting(setting, &drives, error)) {
        return FALSE;
    }
    std::lock_guard<std::mutex> lock(table_mutex);
    install_drives(&drive_table(), drives);
    return TRUE;
}

BOOL drive_map_load(std::vector<DriveMapping>* drives, std::string* error)
{
    if (!drives_from_environment(drives, error)) {
        return FALSE;
    }
    std::lock_guard<std::mutex> lock(table_mutex);
    install_drives(&drive_table(), *drives);
    return TRUE;
}

BOOL drive_map_lookup(char letter, DriveMapping* mapping)
{
    if (!std::isalpha(static_cast<unsigned char>(letter))) {
        return FALSE;
    }
    const int index = std::toupper(static_cast<unsigned char>(letter)) - 'A';
    std::lock_guard<std::mutex> lock(table_mutex);
    DriveTable& table = drive_table();
    if (!table.configured) {
        // A malformed setting maps no drive: nothing runs on drives that
        // nobody chose.
        std::vector<DriveMapping> drives;
        std::string ignored;
        drives_from_environment(&drives, &ignored);
        install_drives(&table, drives);
    }
    if (!table.mapped[index]) {
        return FALSE;
    }
    *mapping = table.drives[index];
    return TRUE;
}

BOOL drive_is_ready(const DriveMapping& drive)
{
    struct stat status {};
    return !drive.device_known ||
           (stat(drive.directory.c_str(), &status) == 0 && status.st_dev == drive.device);
}

BOOL split_drive_path(LPCSTR windows_path, DriveMapping* drive, std::vector<std::string>* components, DWORD* code)
{
    if (windows_path == nullptr) {
        *code = ERROR_PATH_NOT_FOUND;
        return FALSE;
    }
    if (std::char_traits<char>::length(windows_path) >= MAX_PATH) {
        *code = ERROR_FILENAME_EXCED_RANGE;
        return FALSE;
    }
    // Only drive-letter paths exist here: there is no current directory.
    if (!std::isalpha(static_cast<unsigned char>(windows_path[0])) || windows_path[1] != ':') {
        *code = ERROR_PATH_NOT_FOUND;
        return FALSE;
    }
    components->clear();
    if (!resolve_components(windows_path + 2, components, code)) {
        return FALSE;
    }
    if (!drive_map_lookup(windows_path[0], drive)) {
        *code = ERROR_PATH_NOT_FOUND;
        return FALSE;
    }
    if (!drive_is_ready(*drive)) {
        *code = ERROR_NOT_READY;
        return FALSE;
    }
    return TRUE;
}

BOOL translate_path(LPCSTR windows_path, std::string* native_path, DWORD* code)
{
    DriveMapping drive;
    std::vector<std::string> components;
    if (!split_drive_path(windows_path, &drive, &components, code)) {
        return FALSE;
    }
    std::string path = drive.directory;
    for (const std::string& component : components) {
        if (path.back() != '/') {
            path.push_back('/');
        }
        path += component;
    }
    *native_path = path;
    return TRUE;
}
