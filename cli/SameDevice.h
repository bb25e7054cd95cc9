// Whether writing into a folder could overwrite sectors of the block device being scanned.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace reclaima::cli {

// The block devices a filesystem on `device` writes to: the device itself, the
// whole disk of a partition, and what a mapped or RAID device is built from,
// followed down to the disks. `sysfs` is where sysfs is mounted.
std::vector<dev_t> DevicesBeneath(dev_t device, const std::string& sysfs = "/sys");

// True when writes to `target` can land on `source`: either is the other, or is
// built on it (a partition of a disk, a mapped or RAID device made of partitions).
bool WritesCanReach(dev_t target, dev_t source, const std::string& sysfs = "/sys");

// The "source" column of the mount whose device number is `device`, empty when
// there is none. Btrfs and others give their files an anonymous device number
// that sysfs does not know; the mount table still names the real device.
std::string MountSource(dev_t device, const std::string& mountinfo = "/proc/self/mountinfo");

// The device number of the filesystem that holds `folder`, or of its nearest
// existing parent when it does not exist yet; 0 when none can be found.
dev_t FolderDevice(const std::string& folder);

// True when files written into `folder` may land on block device `source`.
bool FolderIsOnDevice(const std::string& folder, dev_t source);

}  // namespace reclaima::cli
