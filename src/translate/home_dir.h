// Home-directory security (/hda): the source's security is not carried at
// all. Every copied object gets what it would have inherited inside the
// target home directory, with the /hda account as creator and owner: one
// descriptor for directories and one for files, derived once from the target
// directory (or its parent) and compared with, and when different written
// onto, every object.
#ifndef TARVIK_TRANSLATE_HOME_DIR_H_
#define TARVIK_TRANSLATE_HOME_DIR_H_

#include <string>

#include "common/security_workspace.h"
#include "server/server.h"

namespace tarvik {

// Prepares the two descriptors from the template directory: the target root
// when it exists and is owned by the account, its parent otherwise. Every
// reason for a failure is logged; the run then stops before anything is
// copied. True at once when the translator is already prepared.
bool InitHomeDirTranslation(const Server& target_server, const std::wstring& target_root,
                            const std::wstring& account_name, bool list_only);

// Gives the target object the descriptor of its kind unless it already has
// it. A target that did not exist is created here, empty, with it. *changed
// tells whether the object needed (and, unless listing, got) the descriptor.
// False after a failure, already logged, with the failing call's error as
// the thread's last error.
bool PropagateHomeDirSecurity(SecurityWorkspace* workspace, const std::wstring& target_path,
                              bool is_directory, bool target_existed, bool open_reparse_point,
                              bool* changed);

}  // namespace tarvik

#endif  // TARVIK_TRANSLATE_HOME_DIR_H_
