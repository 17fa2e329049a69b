#pragma once
// Opens an address in the user's browser. The web sign-in takes one so that
// tests can see the address without opening anything.
#include <QUrl>

namespace vd::cloud {

class OuvreurUrl {
public:
    virtual ~OuvreurUrl() = default;
    virtual bool ouvrir(const QUrl& url) = 0;   // false: nothing could be opened
};

// The default handler of the desktop (QDesktopServices).
class OuvreurSysteme final : public OuvreurUrl {
public:
    bool ouvrir(const QUrl& url) override;
};

} // namespace vd::cloud
