#include "SameDevice.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

namespace reclaima::cli {

namespace fs = std::filesystem;

namespace {

std::string DeviceText(dev_t device)
{
    return std::to_string(major(device)) + ":" + std::to_string(minor(device));
}

// A sysfs "dev" file holds "MAJOR:MINOR".
bool ReadDeviceFile(const fs::path& file, dev_t& device)
{
    std::ifstream in(file);
    unsigned majorNumber = 0;
    unsigned minorNumber = 0;
    char colon = 0;
    if (!(in >> majorNumber >> colon >> minorNumber) || colon != ':') return false;
    device = makedev(majorNumber, minorNumber);
    return true;
}

// The mount table writes space, tab, newline and backslash as \ and three octal digits.
std::string Unescape(const std::string& field)
{
    const auto octal = [](char c) { return c >= '0' && c <= '7'; };
    std::string text;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && octal(field[i + 1]) &&
            octal(field[i + 2]) && octal(field[i + 3])) {
            text += static_cast<char>(std::stoi(field.substr(i + 1, 3), nullptr, 8));
            i += 3;
        } else {
            text += field[i];
        }
    }
    return text;
}

bool Contains(const std::vector<dev_t>& devices, dev_t device)
{
    return std::find(devices.begin(), devices.end(), device) != devices.end();
}

}  // namespace

std::vector<dev_t> DevicesBeneath(dev_t device, const std::string& sysfs)
{
    std::vector<dev_t> found;
    // Stacks of mapped devices are shallow; the bound only guards against a loop.
    std::function<void(dev_t, int)> visit = [&](dev_t current, int depth) {
        if (depth > 16 || Contains(found, current)) return;
        found.push_back(current);
        std::error_code error;
        const fs::path link = fs::path(sysfs) / "dev" / "block" / DeviceText(current);
        const fs::path node = fs::canonical(link, error);
        if (error) return;
        dev_t next = 0;
        const bool partition = fs::exists(node / "partition", error);
        if (partition && ReadDeviceFile(node.parent_path() / "dev", next)) visit(next, depth + 1);
        fs::directory_iterator slave(node / "slaves", error);
        for (; !error && slave != fs::directory_iterator(); slave.increment(error)) {
            const fs::path target = fs::canonical(slave->path(), error);
            if (!error && ReadDeviceFile(target / "dev", next)) visit(next, depth + 1);
            error.clear();
        }
    };
    visit(device, 0);
    return found;
}

bool WritesCanReach(dev_t target, dev_t source, const std::string& sysfs)
{
    // Two partitions of one disk share the disk but no sectors: so no common-ancestor test.
    return Contains(DevicesBeneath(target, sysfs), source) ||
           Contains(DevicesBeneath(source, sysfs), target);
}

std::string MountSource(dev_t device, const std::string& mountinfo)
{
    std::ifstream in(mountinfo);
    const std::string wanted = DeviceText(device);
    for (std::string line; std::getline(in, line);) {
        // id parent MAJ:MIN root mountpoint options [optional fields...] - type source options
        std::istringstream fields(line);
        std::string id, parent, number, field;
        if (!(fields >> id >> parent >> number) || number != wanted) continue;
        while (fields >> field && field != "-") {
        }
        std::string type, source;
        if (fields >> type >> source) return Unescape(source);
    }
    return {};
}

dev_t FolderDevice(const std::string& folder)
{
    std::error_code error;
    fs::path path = fs::absolute(folder, error);
    if (error) return 0;
    for (;;) {
        struct stat info {};
        if (::stat(path.c_str(), &info) == 0) return info.st_dev;
        if (!path.has_relative_path()) return 0;
        path = path.parent_path();
    }
}

bool FolderIsOnDevice(const std::string& folder, dev_t source)
{
    dev_t target = FolderDevice(folder);
    if (target == 0) return false;
    if (major(target) == 0) {
        const std::string mounted = MountSource(target);
        struct stat info {};
        // "tmpfs", "overlay" and the like name no device.
        if (mounted.empty() || mounted[0] != '/' || ::stat(mounted.c_str(), &info) != 0 ||
            !S_ISBLK(info.st_mode))
            return false;
        target = info.st_rdev;
    }
    return WritesCanReach(target, source);
}

}  // namespace reclaima::cli
