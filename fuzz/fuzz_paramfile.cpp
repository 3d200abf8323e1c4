// The parameter file: whatever a file holds is read the way Get with the storage target File
// reads it. Each input is written to a real file, read with the platform's file-to-array reading,
// taken into the parameters (low 16 bits of each value) and shown through the panel update that
// follows a load, with its range replacement and read-back drawing.
//
// The file dialog that picks the file in the program costs far more than the rest and takes no
// outside bytes, so the fuzzer names the file itself; the tests cover the dialog.
#include "support/StartProgram.h"

#include "gui/Gui.h"
#include "link/Com232.h"
#include "userint.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <string>

using namespace korva;

namespace {

[[noreturn]] void Fail(const std::string& what)
{
    std::fprintf(stderr, "fuzz_paramfile: %s\n", what.c_str());
    std::abort();
}

// The file, in a folder of its own that is removed at exit.
const std::string& ParameterFile()
{
    static const QTemporaryDir folder;
    static const std::string file = folder.filePath(QStringLiteral("KORVApara.dat")).toStdString();
    return file;
}

void WriteParameterFile(const uint8_t* data, size_t size)
{
    QFile file(QString::fromStdString(ParameterFile()));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size)) != static_cast<qint64>(size))
        Fail("cannot write " + ParameterFile());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    if (!test::StartProgram("/nonexistent/korva-fuzz-port", test::MainPanel::Hidden))
        Fail("the program did not start (is its panel file beside the fuzzer?)");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    WriteParameterFile(data, size);
    file_name = ParameterFile();
    LoadParaFile();
    PushGET(DATFILE);  // the panel update of Get from a file
    // The event loop runs after the command, as in the program: repaints and deferred deletions
    // end within the same input.
    QCoreApplication::processEvents();
    return 0;
}
