#ifndef AHEADDECODER_H
#define AHEADDECODER_H

#include "threads/chunkqueue.h"

#include <QByteArray>
#include <QString>

#include <thread>

class QIODevice;
class StreamDecoder;

/*!
    Decodes one stream ahead of its reader, on a thread of its own, into a
    few chunks: the stream that carries most of a file's bytes is decoded
    while the reader adds and writes the ones before.

    The decoder it drives reads its device under the lock given, which every
    decoder of that device must take. Damage anywhere in the stream, or a
    stream that does not end where it announced, fails the read that reaches
    it, or finish().
*/
class AheadDecoder
{
public:
    AheadDecoder();
    ~AheadDecoder();
    AheadDecoder(const AheadDecoder &) = delete;
    AheadDecoder &operator=(const AheadDecoder &) = delete;

    /*! Starts decoding with \a decoder, already started on its stream, of which it stays the only user until finish(). */
    void start(StreamDecoder *decoder);
    /*! Up to \a wanted of the next bytes, \a got of them; valid until the next call. Null on failure. */
    const char *next(qint64 wanted, qint64 *got);
    /*! True when every byte was read and the stream ended where it announced. */
    bool finish();
    /*! Stops the thread: the decoder is the caller's again. */
    void stop();

    qint64 remaining() const { return length - taken; }
    QString errorString() const { return error; }

private:
    void run();

    StreamDecoder *decoder = nullptr;
    qint64 length = 0;
    qint64 taken = 0;
    ChunkQueue::Chunk current; // the reader's
    qint64 currentAt = 0;
    ChunkQueue ready;
    QString failure;           // the thread's, read once the queue is closed
    QString error;
    std::thread worker;
};

#endif // AHEADDECODER_H
