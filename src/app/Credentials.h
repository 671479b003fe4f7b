#pragma once
// Where the apply flow gets a camera's account from: the window's credential dialog, or the
// options of zadari-cli. The flow presets the fields per family and trims what comes back.
#include <cstdint>
#include <optional>
#include <string>

namespace zadari {

struct TCredentials {
    std::string user;
    std::string password;
    bool operator==(const TCredentials&) const = default;
};

class ICredentialsProvider {
public:
    virtual ~ICredentialsProvider() = default;
    /// Asks for the account of a device of `family`, the two fields preset as given. Nothing
    /// when the user cancelled (no command is sent then).
    virtual std::optional<TCredentials> AskCredentials(std::int32_t family,
                                                       const TCredentials& presets) = 0;
};

/// Answers without asking anybody: the given user and password where set, else the presets the
/// flow offers. zadari-cli uses it for --user and --password.
class TPresetCredentials : public ICredentialsProvider {
public:
    TPresetCredentials() = default;
    TPresetCredentials(std::optional<std::string> user, std::optional<std::string> password)
        : user_(std::move(user)), password_(std::move(password)) {}

    std::optional<TCredentials> AskCredentials(std::int32_t /*family*/,
                                               const TCredentials& presets) override {
        ++asked_;
        return TCredentials{user_.value_or(presets.user), password_.value_or(presets.password)};
    }
    /// How often the flow asked (0 for the families that need no account).
    int Asked() const { return asked_; }

private:
    std::optional<std::string> user_;
    std::optional<std::string> password_;
    int asked_ = 0;
};

} // namespace zadari
