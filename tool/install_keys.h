// The game's record under HKEY_LOCAL_MACHINE, and its removal.
#pragma once

#include <cstdint>
#include <string>

// A registry status code as the platform returns it: zero is success,
// anything else is the platform's error code.
using removal_status = std::int32_t;

// Paths are relative to HKEY_LOCAL_MACHINE. The base path ends in the
// separator that joins it to the content identifier.
inline constexpr char online_content_base_path[] =
    "SOFTWARE\\Quorvane\\Pallisor\\Installed Games\\vastrel\\Kestry-2007\\online_content\\";
inline constexpr char content_identifier[] = "Kestry_velloc_eu";
inline constexpr char online_content_key_path[] =
    "SOFTWARE\\Quorvane\\Pallisor\\Installed Games\\vastrel\\Kestry-2007\\online_content";
inline constexpr char game_key_path[] =
    "SOFTWARE\\Quorvane\\Pallisor\\Installed Games\\vastrel\\Kestry-2007";

// The content package's key: the base path followed by the identifier.
std::string content_key_path();

// Deletes the content key, the online_content key and the game key, in that
// order, and returns the status of the game key's deletion.
removal_status remove_install_keys();
