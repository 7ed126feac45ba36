#pragma once

namespace korimado {

// Copies the extended attributes of the file open as from onto the file open as to, the access
// control list (system.posix_acl_access) among them: a file renamed into another's place has
// none of its own. The system's attributes the process may not set (security., trusted.) are
// passed over. Returns 0, or the error of the first attribute that could not be carried.
int copyExtendedAttributes(int from, int to);

}  // namespace korimado
