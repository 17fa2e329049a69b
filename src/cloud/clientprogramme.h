#pragma once
// The backend client as the program builds it, for the desktop app and the
// command line alike: the build's address (or the environment's), the session
// in the credential store. No client when the backend is not configured.
#include "cloud/clientsupabase.h"

#include <memory>

namespace vd::cloud {

class ClientProgramme {
public:
    explicit ClientProgramme(platform::Horloge* horloge = nullptr);
    ~ClientProgramme();
    ClientProgramme(const ClientProgramme&) = delete;
    ClientProgramme& operator=(const ClientProgramme&) = delete;

    const ConfigCloud& config() const { return config_; }
    // Null: local mode.
    ClientSupabase* client() const { return client_.get(); }

private:
    ConfigCloud config_;
    StockageSession stockage_;
    std::unique_ptr<ClientSupabase> client_;
};

} // namespace vd::cloud
