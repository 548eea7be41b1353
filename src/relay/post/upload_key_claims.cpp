#include "relay/post/upload_key_claims.h"

UploadKeyClaims::Claim::~Claim() {
    if (m_owner) m_owner->Release(m_key);
}

std::optional<UploadKeyClaims::Claim> UploadKeyClaims::TryClaim(const std::string& key) {
    std::lock_guard<std::mutex> guard(m_lock);
    if (!m_claimed.insert(key).second) return std::nullopt;
    return std::optional<Claim>(std::in_place, *this, key);
}

void UploadKeyClaims::Release(const std::string& key) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_claimed.erase(key);
}
