#include "relay/gather/mirror_file_url.h"

#include "net/url_text.h"

// The walk stops at "/" rather than rising for ever: a location outside the root would otherwise
// never meet it.
std::string MirrorFileURL(const FileLocation& webRoot, const FileLocation& location, bool trailingSlash,
                          const std::string& serverBaseURL) {
    std::string path = trailingSlash ? "/" : "";
    FileLocation current = location;
    while (!CompareFileLocationText(current, webRoot.CString())) {
        if (current.IsRoot()) throw MirrorFileOutsideWebRoot();
        path.insert(0, "/" + current.GetName().ToString());
        try {
            current = current.GetParent();
        } catch (const InvalidFileLocation&) {
            throw MirrorFileOutsideWebRoot();
        }
    }
    if (path.empty()) path = "/";
    return ResolveURLText(serverBaseURL, path);
}
