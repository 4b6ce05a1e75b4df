#ifndef LZMACODEC_H
#define LZMACODEC_H

#include "delta/streamdecoder.h"

#include <QByteArray>

/*!
    Raw LZMA2 streams (liblzma), behind one small interface: no other file
    names a liblzma type. The only setting a raw stream carries outside
    itself is its dictionary, which the delta's index announces.
*/
namespace LzmaCodec {

// The largest dictionary a client gives one stream: three of them stay well inside its memory.
constexpr qint64 DictionaryMax = qint64(8) << 20;
constexpr qint64 DictionaryMin = qint64(4) << 10;

/*! The dictionary for a stream of \a size bytes: no larger than the stream, within the bounds. */
qint64 dictionaryFor(qint64 size);

/*!
    How the coder models literals and positions: literal context bits,
    literal position bits, position bits. The stream carries them; a decoder
    needs only the dictionary.
*/
struct Model
{
    int lc = 3;
    int lp = 0;
    int pb = 2;
};

/*!
    \a size bytes at \a data as one raw LZMA2 stream (preset 9, extreme) with
    \a dictionary and \a model; empty on failure.
*/
QByteArray compress(const char *data, qint64 size, qint64 dictionary, const Model &model = Model());

/*! Decodes one raw LZMA2 stream with the dictionary its entry announces. */
class Decoder : public StreamDecoder
{
public:
    Decoder();
    ~Decoder() override;
    Decoder(const Decoder &) = delete;
    Decoder &operator=(const Decoder &) = delete;

    /*! The dictionary of the next stream; the memory of the last is reused when it is the same. */
    void setDictionary(qint64 bytes) { dictionary = bytes; }

protected:
    bool reset(qint64 length) override;
    bool step(const char *in, qint64 inSize, qint64 *inUsed, char *out, qint64 outSize, qint64 *outGiven,
              bool *ended) override;

private:
    void *stream = nullptr; // the liblzma stream
    qint64 dictionary = 0;
};

} // namespace LzmaCodec

#endif // LZMACODEC_H
