// Security descriptors as the worker uses them: written as SDDL text and
// given to CreateDirectoryW. The substitute keeps of a descriptor only what
// it can apply to a folder's mode (see CreateDirectoryW in file_api.h).
#pragma once

#include "win_types.h"

typedef PVOID PSECURITY_DESCRIPTOR;

typedef struct _SECURITY_ATTRIBUTES* LPSECURITY_ATTRIBUTES;

#define SDDL_REVISION_1 1

#define ERROR_UNKNOWN_REVISION 1305L
#define ERROR_INVALID_SECURITY_DESCR 1338L

// Reads an SDDL text: owner "O:", group "G:", DACL "D:" and SACL "S:", each
// at most once; an ACL is its flags (P, AI, AR, NO_ACCESS_CONTROL) and ACEs
// "(type;flags;rights;;;sid)" with type A or D (AU or AL in a SACL), flags
// and rights as two-letter codes (rights also as 0x hexadecimal), SIDs as
// two-letter aliases or S-1-... text; object ACEs and conditions are not
// read. Returns a descriptor to be released with LocalFree. Fails with 1305
// for a revision other than SDDL_REVISION_1 and 87 for text it cannot read.
BOOL ConvertStringSecurityDescriptorToSecurityDescriptorW(LPCWSTR StringSecurityDescriptor, DWORD StringSDRevision,
                                                          PSECURITY_DESCRIPTOR* SecurityDescriptor,
                                                          PULONG SecurityDescriptorSize);

// Releases what a call of the substitute allocated for its caller (a
// security descriptor). Returns null, as Windows does on success.
HLOCAL LocalFree(HLOCAL hMem);
