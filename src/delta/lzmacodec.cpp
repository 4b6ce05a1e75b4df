#include "delta/lzmacodec.h"

#include <lzma.h>

namespace LzmaCodec {

namespace {

lzma_stream *lzmaStream(void *stream)
{
    return static_cast<lzma_stream *>(stream);
}

} // namespace

qint64 dictionaryFor(qint64 size)
{
    qint64 dictionary = DictionaryMin;
    while (dictionary < size && dictionary < DictionaryMax)
        dictionary *= 2;
    return dictionary;
}

QByteArray compress(const char *data, qint64 size, qint64 dictionary, const Model &model)
{
    lzma_options_lzma options;
    if (dictionary < DictionaryMin || dictionary > DictionaryMax || lzma_lzma_preset(&options, 9 | LZMA_PRESET_EXTREME))
        return QByteArray();
    options.dict_size = quint32(dictionary);
    options.lc = quint32(model.lc);
    options.lp = quint32(model.lp);
    options.pb = quint32(model.pb);
    const lzma_filter filters[] = { { LZMA_FILTER_LZMA2, &options }, { LZMA_VLI_UNKNOWN, nullptr } };
    QByteArray out(int(lzma_stream_buffer_bound(size_t(size))), Qt::Uninitialized);
    size_t written = 0;
    if (lzma_raw_buffer_encode(filters, nullptr, reinterpret_cast<const uint8_t *>(data), size_t(size),
                               reinterpret_cast<uint8_t *>(out.data()), &written, size_t(out.size()))
        != LZMA_OK)
        return QByteArray();
    out.resize(int(written));
    return out;
}

Decoder::Decoder()
    : stream(new lzma_stream(LZMA_STREAM_INIT))
{
}

Decoder::~Decoder()
{
    lzma_end(lzmaStream(stream));
    delete lzmaStream(stream);
}

bool Decoder::reset(qint64)
{
    // The dictionary is the decoder's whole memory: a larger one than a client gives is refused unread.
    if (dictionary < DictionaryMin || dictionary > DictionaryMax)
        return fail(QStringLiteral("a stream asks for a dictionary of %1 bytes; at most %2 are given")
                            .arg(dictionary).arg(DictionaryMax));
    lzma_options_lzma options;
    lzma_lzma_preset(&options, 6);
    options.dict_size = quint32(dictionary);
    const lzma_filter filters[] = { { LZMA_FILTER_LZMA2, &options }, { LZMA_VLI_UNKNOWN, nullptr } };
    if (lzma_raw_decoder(lzmaStream(stream), filters) != LZMA_OK)
        return fail(QStringLiteral("cannot set up the decoder"));
    return true;
}

bool Decoder::step(const char *in, qint64 inSize, qint64 *inUsed, char *out, qint64 outSize, qint64 *outGiven,
                   bool *ended)
{
    lzma_stream *s = lzmaStream(stream);
    s->next_in = reinterpret_cast<const uint8_t *>(in);
    s->avail_in = size_t(inSize);
    s->next_out = reinterpret_cast<uint8_t *>(out);
    s->avail_out = size_t(outSize);
    const lzma_ret result = lzma_code(s, LZMA_RUN);
    *inUsed = inSize - qint64(s->avail_in);
    *outGiven = outSize - qint64(s->avail_out);
    if (result == LZMA_STREAM_END) {
        *ended = true;
        return true;
    }
    if (result != LZMA_OK && result != LZMA_BUF_ERROR)
        return fail(QStringLiteral("a stream is damaged (LZMA error %1)").arg(int(result)));
    return true;
}

} // namespace LzmaCodec
