#include "ouvreururl.h"

#include <QDesktopServices>

namespace vd::cloud {

bool OuvreurSysteme::ouvrir(const QUrl& url)
{
    return QDesktopServices::openUrl(url);
}

} // namespace vd::cloud
