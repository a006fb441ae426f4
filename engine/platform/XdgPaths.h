// SPDX-License-Identifier: MIT
#pragma once

#include <string>

namespace brelvo {

// The user's home folder: $HOME when it is set and absolute, else the
// password database's entry for the real user; empty when neither is known.
std::string homeDirectory();

// Where files the user keeps go: $XDG_DATA_HOME when it is an absolute
// path, else $HOME/.local/share. A relative value is ignored, as the XDG
// rules ask. Empty when there is no home folder either. On Windows the
// user's %LOCALAPPDATA% (settings: %APPDATA%) unless the variable is set;
// the home folder is %USERPROFILE%.
std::string xdgDataHome();
// The same for settings: $XDG_CONFIG_HOME, else $HOME/.config.
std::string xdgConfigHome();

// Makes `path` and every missing folder above it, each with `mode` (less
// the umask). A folder that already exists is fine; anything else in the
// way is not. Returns 0 or the errno of the step that failed; that step's
// path goes to `failedPath` when given.
int makeDirectories(const std::string& path, unsigned mode, std::string* failedPath = nullptr);

} // namespace brelvo
