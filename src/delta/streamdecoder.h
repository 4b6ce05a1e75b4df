#ifndef STREAMDECODER_H
#define STREAMDECODER_H

#include <QByteArray>
#include <QString>

#include <mutex>

class QIODevice;

/*!
    Decodes one compressed stream that lies at a known place of a device, in
    order and in bounded memory: a window of the codec's own and one chunk of
    input. Several decoders may share a device; each seeks to its own place
    before it reads.

    The stream must give exactly the length its entry announces and end there,
    its input consumed to the last byte: anything else is damage.
*/
class StreamDecoder
{
public:
    virtual ~StreamDecoder() = default;

    /*!
        Starts decoding the \a size bytes at \a offset of \a device, a stream
        that must decode to exactly \a length bytes.
    */
    bool start(QIODevice *device, qint64 offset, qint64 size, qint64 length);
    /*! The next \a size bytes of the stream into \a out; false when it cannot give them. */
    bool read(char *out, qint64 size);
    /*! True when every announced byte was read, the stream ended there, and no input is left. */
    bool finish();

    /*! Reads the device under \a lock from now on: a decoder running on another thread shares it. */
    void setDeviceLock(std::mutex *lock) { deviceLock = lock; }

    qint64 remaining() const { return length - produced; }
    QString errorString() const { return error; }

protected:
    /*! Makes the codec ready for a new stream of \a length bytes. */
    virtual bool reset(qint64 length) = 0;
    /*!
        Decodes from \a in (\a inSize bytes) into \a out (\a outSize bytes),
        telling what it used and gave; sets \a ended at the stream's end.
        False, with fail(), for damage.
    */
    virtual bool step(const char *in, qint64 inSize, qint64 *inUsed, char *out, qint64 outSize, qint64 *outGiven,
                      bool *ended) = 0;
    bool fail(const QString &message);

private:
    bool fill();
    bool decode(char *out, qint64 size);

    QIODevice *device = nullptr;
    std::mutex *deviceLock = nullptr;
    qint64 next = 0;        // where the unread input starts on the device
    qint64 inputLeft = 0;   // input not yet read from the device
    QByteArray input;
    qint64 inputAt = 0;     // the first unused byte of input
    qint64 inputEnd = 0;
    QByteArray output;      // decoded ahead of small reads
    qint64 outputAt = 0;
    qint64 outputEnd = 0;
    qint64 length = 0;
    qint64 produced = 0;    // given to the caller
    qint64 decoded = 0;     // taken from the codec
    bool ended = false;
    QString error;
};

#endif // STREAMDECODER_H
