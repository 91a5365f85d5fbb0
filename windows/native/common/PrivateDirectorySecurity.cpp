#include "PrivateDirectorySecurity.h"

#include "WinErrorHandling.h"
#include "UniqueHandles.h"
#include "WindowsApi.h"

#include <aclapi.h>
#include <sddl.h>

#include <vector>

namespace {

// The token's TOKEN_USER record, which holds the user's SID.
std::vector<unsigned char> currentUser() {
    UniqueHandle token;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put())) {
        VK_THROW_LAST_ERROR(::OpenProcessToken, "OpenProcessToken() failed");
    }
    DWORD size = 0;
    ::GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
    std::vector<unsigned char> buffer(size);
    if (!::GetTokenInformation(token.get(), TokenUser, buffer.data(), size, &size)) {
        VK_THROW_LAST_ERROR(::GetTokenInformation, "GetTokenInformation(TokenUser) failed");
    }
    return buffer;
}

PSID userSid(const std::vector<unsigned char>& user) {
    return reinterpret_cast<const TOKEN_USER*>(user.data())->User.Sid;
}

tstring currentUserSid() {
    wchar_t* rawSid = nullptr;
    if (!::ConvertSidToStringSidW(userSid(currentUser()), &rawSid)) {
        VK_THROW_LAST_ERROR(::ConvertSidToStringSidW, "ConvertSidToStringSid() failed");
    }
    const std::unique_ptr<wchar_t, LocalFreeDeleter> sid(rawSid);
    return sid.get();
}

} // namespace

struct PrivateDirectorySecurity::Impl {
    std::unique_ptr<void, LocalFreeDeleter> descriptor;
    SECURITY_ATTRIBUTES attributes{};
};

PrivateDirectorySecurity::PrivateDirectorySecurity() : impl_(std::make_unique<Impl>()) {
    // Protected ("P"): nothing is inherited from a temporary directory that
    // other users may be able to change.
    const tstring user = currentUserSid();
    const tstring sddl =
        L"O:" + user + L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;" + user + L")";
    PSECURITY_DESCRIPTOR raw = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1,
                                                                &raw, nullptr)) {
        VK_THROW_LAST_ERROR(::ConvertStringSecurityDescriptorToSecurityDescriptorW,
                            "ConvertStringSecurityDescriptorToSecurityDescriptor(" << sddl
                                                                                   << ") failed");
    }
    impl_->descriptor.reset(raw);
    impl_->attributes.nLength = sizeof(SECURITY_ATTRIBUTES);
    impl_->attributes.lpSecurityDescriptor = raw;
    impl_->attributes.bInheritHandle = FALSE;
}

PrivateDirectorySecurity::~PrivateDirectorySecurity() = default;

_SECURITY_ATTRIBUTES* PrivateDirectorySecurity::attributes() const { return &impl_->attributes; }

tstring PrivateDirectorySecurity::sddl() const {
    wchar_t* raw = nullptr;
    if (!::ConvertSecurityDescriptorToStringSecurityDescriptorW(
            impl_->descriptor.get(), SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &raw, nullptr)) {
        VK_THROW_LAST_ERROR(::ConvertSecurityDescriptorToStringSecurityDescriptorW,
                            "ConvertSecurityDescriptorToStringSecurityDescriptor() failed");
    }
    const std::unique_ptr<wchar_t, LocalFreeDeleter> text(raw);
    return text.get();
}

bool isOwnedByCurrentUser(void* handle) {
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR raw = nullptr;
    if (::GetSecurityInfo(handle, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                          nullptr, nullptr, &raw) != ERROR_SUCCESS) {
        return false;
    }
    const std::unique_ptr<void, LocalFreeDeleter> descriptor(raw);
    return owner && ::EqualSid(owner, userSid(currentUser()));
}
