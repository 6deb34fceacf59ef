// Facts about the volume that holds a file: whether it is a local file system and whether its block
// device is removable. These stand in for the volume flags and disk information of other systems.
#pragma once

#include <cstdint>

// Sets *local to false when the file system holding `path` is a network or user-space file system
// (NFS, SMB/CIFS, AFS, Ceph, 9P, FUSE and the like, recognised by their statfs type numbers) and to true
// otherwise. Returns 0, or -1 (with *local untouched) when `path` or `local` is null or statfs fails.
int platform_is_local_volume(const char* path, bool* local);

// True for the statfs type numbers of network and user-space file systems (see platform_is_local_volume).
bool platform_is_network_fs_type(std::uint64_t fs_type);

// Sets *removable from the kernel's "removable" flag of the block device `device` (a device number as a
// status call reports it), looking at the whole disk when `device` is a partition. Returns 0, or -1 (with
// *removable untouched) when the device has no block-device entry (anonymous devices of tmpfs, overlay
// and the like) or the flag cannot be read. No command is run.
int platform_is_removable_device(std::uint64_t device, bool* removable);

// As platform_is_removable_device, reading below `sys_root` (normally "/sys") so tests can supply a tree.
int platform_is_removable_device_at(const char* sys_root, std::uint64_t device, bool* removable);
