// The roles of a custom site: its owners and its users, named in certificate extensions ("KVR Custom
// Site Owner", "KVR Custom Site User") whose value is the site's name as an OCTET STRING.
//
// A signer holds a role by its chain alone (the site certificate, an administrator) or through a
// delegating certificate that carries the role extension (delegated_roles.h); which chains qualify is
// the role policy's decision (role_authorization_policy.h).
#pragma once

#include <openssl/x509.h>

#include <string>
#include <string_view>

struct Role {
    int kind;              // the NID of the role extension
    std::string siteName;  // compared bytewise, case-sensitive

    bool operator==(const Role& other) const = default;
};

// The owner, resp. user, role of the site. Registers the role's extension method first
// (RegisterX509ExtensionType_Failed).
Role CustomSiteOwnerRole(std::string_view siteName);
Role CustomSiteUserRole(std::string_view siteName);

// Whether one of the certificate's extensions of the role's kind holds an OCTET STRING whose bytes are
// the role's site name. A value of another string type, or one that does not decode, matches nothing;
// false for null.
bool HasRoleExtension(X509* certificate, const Role& role);
