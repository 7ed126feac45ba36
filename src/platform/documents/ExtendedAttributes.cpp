#include "platform/documents/ExtendedAttributes.h"

#include <sys/xattr.h>

#include <cerrno>
#include <cstring>
#include <string_view>
#include <vector>

namespace korimado {

namespace {

// The names of from's attributes, NUL-separated; empty where the file system keeps none.
bool listNames(int from, std::vector<char>& names, int* code)
{
    for (int attempt = 0; attempt < 8; ++attempt) {
        const ssize_t size = ::flistxattr(from, nullptr, 0);
        if (size < 0) {
            *code = errno == ENOTSUP ? 0 : errno;
            names.clear();
            return *code == 0;
        }
        names.resize(size_t(size));
        if (size == 0) return true;
        const ssize_t got = ::flistxattr(from, names.data(), names.size());
        if (got >= 0) {
            names.resize(size_t(got));
            return true;
        }
        if (errno != ERANGE) {
            *code = errno;
            return false;
        }
    }
    *code = ERANGE;
    return false;
}

// Whether losing the attribute loses something of the user's: their own attributes and the ACL.
bool mustCarry(std::string_view name)
{
    return name.starts_with("user.") || name.starts_with("system.posix_acl_");
}

}  // namespace

int copyExtendedAttributes(int from, int to)
{
    std::vector<char> names;
    int code = 0;
    if (!listNames(from, names, &code)) return code;
    std::vector<char> value;
    for (size_t at = 0; at < names.size();) {
        const char* name = names.data() + at;
        const std::string_view view(name);
        at += view.size() + 1;
        if (view.empty()) continue;
        ssize_t size = -1;
        for (int attempt = 0; attempt < 8; ++attempt) {
            size = ::fgetxattr(from, name, nullptr, 0);
            if (size < 0) break;
            value.resize(size_t(size));
            size = ::fgetxattr(from, name, value.data(), value.size());
            if (size >= 0 || errno != ERANGE) break;
        }
        if (size < 0) {
            // Removed since it was listed: nothing left to carry.
            if (errno == ENODATA) continue;
            if (mustCarry(view)) return errno;
            continue;
        }
        if (::fsetxattr(to, name, value.data(), size_t(size), 0) != 0 && mustCarry(view)) return errno;
    }
    return 0;
}

}  // namespace korimado
