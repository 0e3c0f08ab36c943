// The game's record as the installer writes it, spelled key by key so the
// tests do not lean on the tool's own literals.
#pragma once

#include <string>
#include <vector>

namespace record {

std::string join(std::vector<std::string> const& names);

inline std::string const vastrel = join({"SOFTWARE", "Quorvane", "Pallisor", "Installed Games", "vastrel"});
inline std::string const game_key = vastrel + "\\Kestry-2007";
inline std::string const online_content_key = game_key + "\\online_content";
inline std::string const content_key = online_content_key + "\\Kestry_velloc_eu";

// Writes the three keys with a few values each into the stand-in.
void install();

inline std::vector<std::string> const whole_record = {content_key, online_content_key, game_key};

// A stand-in snapshot with the given keys, and the values they held, taken
// out; key names compare without regard to case.
std::vector<std::string> without_keys(std::vector<std::string> lines, std::vector<std::string> const& keys);

// Keys that are not the tool's: a sibling game and the branch above it.
void install_neighbours();

}  // namespace record
