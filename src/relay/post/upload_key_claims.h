// UploadKeyClaims: which uploads a request is working on now, so that two requests never write one
// partial file at once. A request claims its partial file's path before it looks at the file's size
// and holds the claim until it has answered; a second request for the same upload finds the claim
// taken and does not wait for it.
//
// Thread-safety: every member may be called from any thread; a Claim is released by whichever thread
// destroys it. The claims object must outlive its claims.
#pragma once

#include <mutex>
#include <optional>
#include <set>
#include <string>

class UploadKeyClaims {
  public:
    class Claim {
      public:
        Claim(UploadKeyClaims& owner, std::string key) : m_owner(&owner), m_key(std::move(key)) {}
        Claim(Claim&& other) noexcept : m_owner(other.m_owner), m_key(std::move(other.m_key)) {
            other.m_owner = nullptr;
        }
        Claim(const Claim&) = delete;
        Claim& operator=(const Claim&) = delete;
        Claim& operator=(Claim&&) = delete;
        ~Claim();

      private:
        UploadKeyClaims* m_owner;
        std::string m_key;
    };

    UploadKeyClaims() = default;
    UploadKeyClaims(const UploadKeyClaims&) = delete;
    UploadKeyClaims& operator=(const UploadKeyClaims&) = delete;

    // None while another claim holds the key.
    std::optional<Claim> TryClaim(const std::string& key);

  private:
    void Release(const std::string& key);

    std::mutex m_lock;
    std::set<std::string> m_claimed;  // under m_lock
};
