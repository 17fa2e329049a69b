#include "clientprogramme.h"

namespace vd::cloud {

ClientProgramme::ClientProgramme(platform::Horloge* horloge)
    : config_(ConfigCloud::duProgramme()), stockage_(platform::Coffre::instance()),
      client_(ClientSupabase::creer(config_, &stockage_, horloge))
{
}

ClientProgramme::~ClientProgramme() = default;

} // namespace vd::cloud
