#include "registry_standin.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <utility>

namespace {

constexpr std::int32_t status_success = 0;
constexpr std::int32_t status_not_found = 2;
constexpr std::int32_t status_access_denied = 5;
constexpr std::int32_t status_invalid_handle = 6;
constexpr std::int32_t status_invalid_parameter = 87;
constexpr std::int32_t status_bad_pathname = 161;

constexpr char separator = '\\';

struct key_node {
    std::string name;
    std::vector<std::pair<std::string, std::string>> values;
    std::vector<key_node> subkeys;
};

struct registry_state {
    key_node local_machine;
    key_node current_user;
    std::vector<standin::registry_call> calls;
};

registry_state& state()
{
    static registry_state registry;
    return registry;
}

key_node* root_node(HKEY root)
{
    switch (root) {
    case registry_root::local_machine: return &state().local_machine;
    case registry_root::current_user: return &state().current_user;
    }
    return nullptr;
}

char fold_case(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool same_name(std::string_view a, std::string_view b)
{
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(),
                      [](char x, char y) { return fold_case(x) == fold_case(y); });
}

std::vector<std::string_view> split_path(std::string_view path)
{
    std::vector<std::string_view> names;
    if (path.empty()) {
        return names;
    }
    std::size_t start = 0;
    while (true) {
        std::size_t const end = path.find(separator, start);
        names.push_back(path.substr(start, end == std::string_view::npos ? end : end - start));
        if (end == std::string_view::npos) {
            return names;
        }
        start = end + 1;
    }
}

std::vector<key_node>::iterator find_subkey(key_node& parent, std::string_view name)
{
    return std::find_if(parent.subkeys.begin(), parent.subkeys.end(),
                        [name](key_node const& key) { return same_name(key.name, name); });
}

key_node* find_key(key_node& root, std::string_view path)
{
    key_node* node = &root;
    for (std::string_view const name : split_path(path)) {
        auto const found = find_subkey(*node, name);
        if (found == node->subkeys.end()) {
            return nullptr;
        }
        node = &*found;
    }
    return node;
}

key_node& create_key(HKEY root, std::string_view path)
{
    key_node* node = root_node(root);
    if (node == nullptr) {
        throw std::invalid_argument("unknown registry root");
    }
    for (std::string_view const name : split_path(path)) {
        if (name.empty()) {
            throw std::invalid_argument("empty key name in path");
        }
        auto found = find_subkey(*node, name);
        if (found == node->subkeys.end()) {
            node->subkeys.push_back(key_node{std::string(name), {}, {}});
            found = std::prev(node->subkeys.end());
        }
        node = &*found;
    }
    return *node;
}

std::int32_t delete_key(HKEY root, char const* path)
{
    key_node* const root_key = root_node(root);
    if (root_key == nullptr) {
        return status_invalid_handle;
    }
    if (path == nullptr) {
        return status_invalid_parameter;
    }
    std::string_view relative(path);
    if (!relative.empty() && relative.front() == separator) {
        return status_bad_pathname;
    }
    while (!relative.empty() && relative.back() == separator) {
        relative.remove_suffix(1);
    }
    if (relative.empty()) {
        return status_access_denied;
    }

    std::size_t const last_separator = relative.rfind(separator);
    key_node* parent = root_key;
    if (last_separator != std::string_view::npos) {
        parent = find_key(*root_key, relative.substr(0, last_separator));
        if (parent == nullptr) {
            return status_not_found;
        }
    }
    std::string_view const name =
        last_separator == std::string_view::npos ? relative : relative.substr(last_separator + 1);
    auto const target = find_subkey(*parent, name);
    if (target == parent->subkeys.end()) {
        return status_not_found;
    }
    if (!target->subkeys.empty()) {
        return status_access_denied;
    }
    parent->subkeys.erase(target);
    return status_success;
}

void collect(key_node const& node, std::string const& path, std::vector<std::string>& lines)
{
    for (auto const& [name, data] : node.values) {
        lines.push_back(path + '\t' + name + '=' + data);
    }
    for (key_node const& subkey : node.subkeys) {
        std::string const subkey_path = path.empty() ? subkey.name : path + separator + subkey.name;
        lines.push_back(subkey_path);
        collect(subkey, subkey_path, lines);
    }
}

// File lines: "K\troot\tpath" for a key, "V\troot\tpath\tname\tdata" for a value.
char root_tag(HKEY root)
{
    return root == registry_root::local_machine ? 'M' : 'U';
}

HKEY root_from_tag(std::string_view tag)
{
    if (tag == "M") {
        return registry_root::local_machine;
    }
    if (tag == "U") {
        return registry_root::current_user;
    }
    throw std::runtime_error("registry file: unknown root tag");
}

void save_tree(std::ofstream& out, HKEY root, key_node const& node, std::string const& path)
{
    for (auto const& [name, data] : node.values) {
        out << "V\t" << root_tag(root) << '\t' << path << '\t' << name << '\t' << data << '\n';
    }
    for (key_node const& subkey : node.subkeys) {
        std::string const subkey_path = path.empty() ? subkey.name : path + separator + subkey.name;
        out << "K\t" << root_tag(root) << '\t' << subkey_path << '\n';
        save_tree(out, root, subkey, subkey_path);
    }
}

}  // namespace

std::int32_t RegDeleteKeyA(HKEY root, char const* path)
{
    char const* const file = std::getenv("REGISTRY_STANDIN_FILE");
    if (file != nullptr) {
        standin::load(file);
    }
    std::int32_t const status = delete_key(root, path);
    state().calls.push_back({root, path == nullptr ? std::string() : std::string(path), status});
    if (file != nullptr) {
        standin::save(file);
    }
    return status;
}

namespace standin {

void reset()
{
    state() = registry_state{};
}

void add_key(HKEY root, std::string_view path)
{
    create_key(root, path);
}

void set_value(HKEY root, std::string_view path, std::string_view name, std::string_view data)
{
    key_node& key = create_key(root, path);
    auto const found = std::find_if(key.values.begin(), key.values.end(),
                                    [name](auto const& value) { return same_name(value.first, name); });
    if (found != key.values.end()) {
        found->second = std::string(data);
    } else {
        key.values.emplace_back(std::string(name), std::string(data));
    }
}

bool key_exists(HKEY root, std::string_view path)
{
    key_node* const root_key = root_node(root);
    return root_key != nullptr && find_key(*root_key, path) != nullptr;
}

std::vector<std::string> snapshot(HKEY root)
{
    std::vector<std::string> lines;
    if (key_node const* const root_key = root_node(root)) {
        collect(*root_key, std::string(), lines);
    }
    std::sort(lines.begin(), lines.end());
    return lines;
}

std::vector<registry_call> const& calls()
{
    return state().calls;
}

void save(std::string const& file)
{
    std::ofstream out(file, std::ios::trunc);
    save_tree(out, registry_root::local_machine, state().local_machine, std::string());
    save_tree(out, registry_root::current_user, state().current_user, std::string());
    if (!out.flush()) {
        throw std::runtime_error("registry file: cannot write " + file);
    }
}

void load(std::string const& file)
{
    std::ifstream in(file);
    if (!in) {
        throw std::runtime_error("registry file: cannot read " + file);
    }
    state().local_machine = key_node{};
    state().current_user = key_node{};
    std::string line;
    while (std::getline(in, line)) {
        std::vector<std::string_view> fields;
        std::string_view rest(line);
        for (std::size_t tab = rest.find('\t'); tab != std::string_view::npos; tab = rest.find('\t')) {
            fields.push_back(rest.substr(0, tab));
            rest.remove_prefix(tab + 1);
        }
        fields.push_back(rest);
        if (fields.size() == 3 && fields[0] == "K") {
            add_key(root_from_tag(fields[1]), fields[2]);
        } else if (fields.size() == 5 && fields[0] == "V") {
            set_value(root_from_tag(fields[1]), fields[2], fields[3], fields[4]);
        } else {
            throw std::runtime_error("registry file: bad line: " + line);
        }
    }
}

}  // namespace standin
