#include "install_keys.h"

#include "registry.h"

std::string content_key_path()
{
    std::string path;
    path += online_content_base_path;
    path += content_identifier;
    return path;
}

removal_status remove_install_keys()
{
    std::string const content_key = content_key_path();

    // Only the game key's status counts: the inner keys may already be gone.
    static_cast<void>(RegDeleteKeyA(HKEY_LOCAL_MACHINE, content_key.c_str()));
    static_cast<void>(RegDeleteKeyA(HKEY_LOCAL_MACHINE, online_content_key_path));
    removal_status const status = RegDeleteKeyA(HKEY_LOCAL_MACHINE, game_key_path);
    return status;
}
