#pragma once
// The prefix as the system finds or makes it. An existing prefix is used as it stands; a
// missing one is created as a minimal skeleton (drive links, system32, the user's shell
// folders and a user.reg naming them). The folders every Windows system has and an
// installation writes into are made by the installation, when it needs them.

namespace win {

// Creates the minimal skeleton when the prefix is missing; an existing prefix is only
// checked for its drive C:. Raises SetupError naming the path on failure.
void EnsurePrefix();

// Makes what an existing prefix may lack but Windows always has, where an installation
// writes: "C:\Program Files", the system directory, and the desktop and Start-menu Programs
// folders that "Shell Folders" names. A folder that cannot be made is left as it is; the
// step that writes into it reports it.
void EnsureStandardFolders();

}  // namespace win
