// Any bytes given to the reply decoder as a line: it answers, without a
// crash or a hang, and what it answers holds together: views within the
// line, a value only for a reading, and a shape and a status that agree.
#include "readings/ReplyDecoder.h"

#include <cstdint>
#include <cstdlib>

namespace {

void check(bool ok)
{
    if (!ok)
        std::abort();
}

bool within(QByteArrayView part, QByteArrayView line)
{
    return part.isEmpty() || (part.data() >= line.data() && part.data() + part.size() <= line.data() + line.size());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArrayView line(reinterpret_cast<const char *>(data), qsizetype(size));
    const ondril::Reply reply = ondril::decodeReply(line);
    const bool none = reply.shape == ondril::ReplyShape::NotAReading;
    check(none == (reply.status == ondril::ReadingStatus::NotAReading));
    check(!none || (!reply.hasValue && reply.unit.isEmpty()));
    check(within(reply.unit, line) && within(reply.identifier, line));
    check(reply.value.decimals >= 0 && reply.value.decimals <= 18);
    return 0;
}
