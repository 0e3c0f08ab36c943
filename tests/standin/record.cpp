#include "record.h"

#include "registry_standin.h"

#include <algorithm>
#include <cctype>

namespace record {

std::string join(std::vector<std::string> const& names)
{
    std::string path;
    for (std::string const& name : names) {
        path += path.empty() ? name : "\\" + name;
    }
    return path;
}

namespace {

std::string lower_case(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

}  // namespace

std::vector<std::string> without_keys(std::vector<std::string> lines, std::vector<std::string> const& keys)
{
    auto const belongs_to_removed_key = [&keys](std::string const& line) {
        std::string const key_path = lower_case(line.substr(0, line.find('\t')));
        return std::any_of(keys.begin(), keys.end(),
                           [&](std::string const& key) { return key_path == lower_case(key); });
    };
    lines.erase(std::remove_if(lines.begin(), lines.end(), belongs_to_removed_key), lines.end());
    return lines;
}

void install()
{
    standin::set_value(HKEY_LOCAL_MACHINE, game_key, "InstallDir", "C:\\Games\\Kestry 2007");
    standin::set_value(HKEY_LOCAL_MACHINE, game_key, "Version", "1.0.3");
    standin::set_value(HKEY_LOCAL_MACHINE, online_content_key, "Count", "1");
    standin::set_value(HKEY_LOCAL_MACHINE, content_key, "Name", "Velloc");
    standin::set_value(HKEY_LOCAL_MACHINE, content_key, "Region", "eu");
}

void install_neighbours()
{
    standin::set_value(HKEY_LOCAL_MACHINE, vastrel + "\\Kestry-2005", "InstallDir", "C:\\Games\\Kestry 2005");
    standin::set_value(HKEY_LOCAL_MACHINE, vastrel + "\\Kestry-2005\\online_content\\Kestry_velloc_eu", "Name", "Velloc");
    standin::set_value(HKEY_LOCAL_MACHINE, vastrel, "Publisher", "Quorvane");
    standin::set_value(HKEY_LOCAL_MACHINE, join({"SOFTWARE", "Quorvane", "Pallisor"}), "Path", "C:\\Pallisor");
    standin::add_key(HKEY_LOCAL_MACHINE, join({"SOFTWARE", "Other Vendor", "Tool"}));
    standin::add_key(HKEY_CURRENT_USER, content_key);
}

}  // namespace record
