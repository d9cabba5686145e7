// The user token of the Linux substitute: the identity of a logged-on user
// and what their session provides, as WTSQueryUserToken found them.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "kernel_object.h"
#include "session_api.h"

class UserToken : public KernelObject {
public:
    uid_t uid = 0;
    gid_t gid = 0;
    std::vector<gid_t> groups;  // supplementary groups, the primary one included
    std::string userName;
    std::string home;
    std::string shell;
    std::string display;  // the session's X display (":0"), empty when it has none
    TOKEN_TYPE type = TokenPrimary;
    SECURITY_IMPERSONATION_LEVEL level = SecurityImpersonation;
};
