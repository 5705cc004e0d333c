// How fast the reply decoder reads lines of each shape, on one core.
#include "BenchSupport.h"
#include "readings/ReplyDecoder.h"

#include <cstdio>

namespace bench {

void decoderSpeed()
{
    const QByteArray lines[] = {"     +  152.37 g\r\n", "N     +    12.3 kg\r\n", "S S      100.00 g\r\n",
                                "ST,+00123.45  g\r\n",  "Net: 152.37 g\r\n",    "BALANCE READY\r\n"};
    constexpr int rounds = 1000000;
    qint64 sum = 0; // keeps the work from being optimised away
    const auto t0 = Clock::now();
    for (int i = 0; i < rounds; ++i)
        for (const QByteArray &line : lines)
            sum += qint64(ondril::decodeReply(line).status) + ondril::decodeReply(line).value.mantissa % 7;
    const double seconds = msSince(t0) / 1000.0 / 2; // each line decoded twice
    const double perSecond = double(rounds) * double(std::size(lines)) / seconds;
    std::printf("reply decoder: %.1f million lines a second on one core (six shapes in turn; check %lld)\n",
                perSecond / 1e6, static_cast<long long>(sum % 10));
}

} // namespace bench
