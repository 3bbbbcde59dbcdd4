#include <QDir>
#include <QFile>

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

// Runs a fuzz target's property over every file in the corpus folder given, without libFuzzer.
int main(int argc, char* argv[])
{
    const QDir corpus(QString::fromLocal8Bit(argc > 1 ? argv[1] : ""));
    const QStringList inputs = corpus.entryList(QDir::Files);
    for (const QString& input : inputs) {
        QFile file(corpus.filePath(input));
        if (!file.open(QIODevice::ReadOnly))
            return 1;
        const QByteArray bytes = file.readAll();
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size()));
    }
    return inputs.isEmpty() ? 1 : 0;
}
