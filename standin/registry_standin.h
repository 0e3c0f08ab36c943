// An in-memory registry for hosts that have none. It answers RegDeleteKeyA
// the way the real one does, and lets tests seed keys and watch the calls.
//
// If REGISTRY_STANDIN_FILE names a file, each call loads the registry from
// it and writes it back, so a separate process can be seeded and inspected.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

enum class registry_root : std::uint8_t { local_machine = 1, current_user = 2 };

using HKEY = registry_root;
inline constexpr HKEY HKEY_LOCAL_MACHINE = registry_root::local_machine;
inline constexpr HKEY HKEY_CURRENT_USER = registry_root::current_user;

// Deletes the key at path under root if it has no subkeys; its values go with it.
// 0 on success; 2 if a key on the path is missing; 5 if the key has subkeys or
// is the root itself; 6 for an unknown root; 87 for a null path; 161 for a
// path that starts with a separator. Trailing separators are ignored and
// names compare without regard to case.
std::int32_t RegDeleteKeyA(HKEY root, char const* path);

namespace standin {

struct registry_call {
    HKEY root;
    std::string path;  // empty for a null path
    std::int32_t status;
};

// Empties the registry and the call log.
void reset();

// Creates the key at path and any missing keys above it.
void add_key(HKEY root, std::string_view path);

// Creates the key if needed and sets a string value in it.
void set_value(HKEY root, std::string_view path, std::string_view name, std::string_view data);

bool key_exists(HKEY root, std::string_view path);

// Every key under root, as "path" lines, and every value, as
// "path\tname=data" lines, in a stable order: a whole-tree snapshot.
std::vector<std::string> snapshot(HKEY root);

// The RegDeleteKeyA calls made since the last reset, in order.
std::vector<registry_call> const& calls();

// Writes the registry to file, or replaces it with the file's content.
void save(std::string const& file);
void load(std::string const& file);

}  // namespace standin
