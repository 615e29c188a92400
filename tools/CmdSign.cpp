// plotvane sign: a chart URL signed for a server run with --sign-key.

#include <charconv>
#include <ctime>
#include <iostream>

#include "server/UrlSignature.h"
#include "tools/CommandLine.h"
#include "tools/Commands.h"

namespace plotvane {

namespace {

constexpr std::string_view Help = R"(Usage: plotvane sign --key FILE [--expires SECONDS] URL

Prints URL signed with the key in FILE, for a server run with
'plotvane serve FORM --sign-key FILE'. URL may carry a scheme and host
(http://charts.example.com/RevenueChart.png?region=EU) or be a path
(/RevenueChart.png?region=EU). The query is written again in the canonical
order and spelling, with sig= last; a sig= already there is replaced.

  --key FILE           the signing key (at least 32 bytes; one line break at
                       the end is not part of it). Make one with
                       openssl rand -hex 32 > FILE
  --expires SECONDS    the URL stops working SECONDS from now: adds exp=
                       (Unix time), which the signature covers
)";

}  // namespace

int RunSign(std::span<const std::string> Args) {
    return RunCommand("sign", Help, "server.md", Args, [&] {
        TCommandArgs A = ParseCommandArgs(Args, {"--key", "--expires"}, false, 1, 1);
        const std::string KeyFile = A.Option("--key");
        if (KeyFile.empty()) throw EUsageError("--key FILE is required");
        std::optional<std::int64_t> Expires;
        if (const std::string Text = A.Option("--expires"); !Text.empty()) {
            std::int64_t Seconds = 0;
            auto [P, Ec] = std::from_chars(Text.data(), Text.data() + Text.size(), Seconds);
            if (Ec != std::errc() || P != Text.data() + Text.size() || Seconds < 1 || Seconds > 100LL * 365 * 86400)
                throw EUsageError("--expires " + Text + " is not a number of seconds in 1..3153600000");
            Expires = static_cast<std::int64_t>(std::time(nullptr)) + Seconds;
        }
        std::cout << SignUrl(ReadSignKey(KeyFile), A.Positional[0], Expires) << "\n";
        return 0;
    });
}

}  // namespace plotvane
