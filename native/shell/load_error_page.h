// The page shown in place of one that failed to load (alloy style).
#pragma once

#include <string>

// A data: URL holding the error page for `failed_url`. The URL and the
// error text come from the page and the network, so both are escaped
// before they become markup.
std::string LoadErrorPage(const std::string& failed_url, const std::string& error_text, int error_code);
