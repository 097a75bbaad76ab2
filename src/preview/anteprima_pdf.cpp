#include "preview/anteprima_pdf.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "frame/failure_path.h"
#include "frame/formato_db.h"
#include "kvad_nso/errors.h"
#include "kvad_nso/host.h"
#include "kvad_nso/text.h"
#include "retrieval/recupero_ordini.h"
#include "ubl/xml_loader.h"

namespace kvad::nso {
namespace {

constexpr std::int32_t kPreviewFolder = 5;
constexpr std::int32_t kFileAlreadyExists = 58;
constexpr std::int32_t kPathFileAccessError = 75;

/// Runs one step whose failure is ignored: the next step runs all the same.
template <class Step> void IgnoringErrors(Step&& step) noexcept {
    try {
        std::forward<Step>(step)();
    } catch (...) {
    }
}

const Variant::Bytes& PdfBytes(const Variant& pdf) {
    const Variant::Bytes* bytes = pdf.AsBytes();
    if (bytes == nullptr) {
        ThrowTypeMismatch();
    }
    return *bytes;
}

[[noreturn]] void ThrowFileError(std::int32_t number, const std::string& path, int error) {
    throw VbError(number, (number == kFileAlreadyExists ? "File already exists: "
                                                        : "Path/File access error: ") +
                              path + " (" + std::strerror(error) + ")");
}

/// Writes all the bytes to an open descriptor; false with errno set when a write fails.
bool WriteAll(int fd, const Variant::Bytes& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t written = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(written);
    }
    return true;
}

/// Writes the bytes to a file that must not exist yet. A write that fails leaves no file.
void WriteNewFile(const std::string& path, const Variant::Bytes& bytes) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        ThrowFileError(errno == EEXIST ? kFileAlreadyExists : kPathFileAccessError, path, errno);
    }
    const bool written = WriteAll(fd, bytes);
    const int error = errno;
    if (::close(fd) != 0 || !written) {
        ::unlink(path.c_str());
        ThrowFileError(kPathFileAccessError, path, written ? errno : error);
    }
}

/// Writes the bytes to `path` through a temporary file beside it, so that the file is either
/// the old one or the whole new one.
void ReplaceFile(const std::string& path, const Variant::Bytes& bytes) {
    std::string temporary = path + ".XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) {
        ThrowFileError(kPathFileAccessError, path, errno);
    }
    const bool written = WriteAll(fd, bytes) && ::fchmod(fd, 0644) == 0;
    const int error = errno;
    if (::close(fd) != 0 || !written || ::rename(temporary.c_str(), path.c_str()) != 0) {
        const int reason = written ? errno : error;
        ::unlink(temporary.c_str());
        ThrowFileError(kPathFileAccessError, path, reason);
    }
}

/// A file named by its full path, for the application browser.
class PathFile final : public TextFile {
  public:
    explicit PathFile(std::string path) : path_(std::move(path)) {}
    void InitializeFromFixedFolder(std::int32_t /*folder*/,
                                   const std::string& /*fileName*/) override {
        throw VbError(vberr::kInvalidArgument, "The file is not in a fixed folder");
    }
    [[nodiscard]] std::string CompleteFileName() const override { return path_; }

  private:
    std::string path_;
};

/// The PDF the web-service component renders of the XML, between its login and logout. A
/// login that fails sets kaErrConnessioneNSO, XML it cannot convert kaErrImportXML, each with
/// the component's text; an error it raises sets kaErrVB.
Variant ConvertToPdf(NsoState& state, const std::string& xml) {
    if (!LogInToPlatform(state)) {
        return {};
    }
    std::string errorText;
    Variant pdf;
    const bool converted = Guard(state, "WriteOrderPdf",
                                 [&] { Service(state).TrasformOrder2PDF(xml, pdf, errorText); });
    NSOLogout(state);
    if (converted && !errorText.empty()) {
        state.Stato = kaErrImportXML;
        state.Errore = errorText;
    }
    return pdf;
}

/// Writes the PDF to `path` (replacing it), or to a new file of fixed folder 5 when `path` is
/// empty; returns the file's full path.
std::string SavePdf(const Variant::Bytes& bytes, const std::string& path) {
    if (!path.empty()) {
        ReplaceFile(path, bytes);
        return std::filesystem::absolute(path).lexically_normal().string();
    }
    const auto file = CreateObjectAs<TextFile>(progid::kTextFile);
    file->InitializeFromFixedFolder(kPreviewFolder, NomeFileTemporaneo().Text() + ".pdf");
    WriteNewFile(file->CompleteFileName(), bytes);
    return std::filesystem::absolute(file->CompleteFileName()).lexically_normal().string();
}

} // namespace

void AnteprimaPDF(NsoState& state, std::int32_t fId) {
    ShowBusyPointer(state, true);
    const std::string xml = GetXML(state, fId);
    if (LunghezzaTesto(xml) > 0) {
        if (!LogInToPlatform(state)) {
            ShowBusyPointer(state, false);
            return;
        }
        Variant pdf;
        std::string errorText;
        // No trap here: what the web-service component raises reaches the caller.
        Service(state).TrasformOrder2PDF(xml, pdf, errorText);
        NSOLogout(state);
        if (!errorText.empty()) {
            state.Errore = errorText;
            state.Stato = kaErrVB;
        } else {
            ApriPDF(pdf);
        }
    }
    ShowBusyPointer(state, false);
}

void ApriPDF(const Variant& pdf) {
    std::shared_ptr<TextFile> file;
    IgnoringErrors([&] { file = CreateObjectAs<TextFile>(progid::kTextFile); });
    IgnoringErrors([&] {
        if (!file) {
            ThrowObjectNotSet();
        }
        file->InitializeFromFixedFolder(kPreviewFolder, NomeFileTemporaneo().Text() + ".pdf");
    });
    IgnoringErrors([&] {
        if (!file) {
            ThrowObjectNotSet();
        }
        WriteNewFile(file->CompleteFileName(), PdfBytes(pdf));
    });
    std::shared_ptr<ApplicationBrowser> browser;
    IgnoringErrors(
        [&] { browser = CreateObjectAs<ApplicationBrowser>(progid::kApplicationBrowser); });
    IgnoringErrors([&] {
        if (!browser) {
            ThrowObjectNotSet();
        }
        if (browser->IsInstalled()) {
            if (!file) {
                ThrowObjectNotSet();
            }
            browser->OpenWithFile(*file);
        }
    });
    IgnoringErrors([&] {
        if (browser) {
            browser->Dispose();
        }
    });
}

Variant NomeFileTemporaneo() {
    try {
        const auto functions = CreateObjectAs<RsFunct>(progid::kRsFunct);
        return ReplaceAll(functions->GetGuidWithoutConnection(), "-", "_");
    } catch (...) {
        return {};
    }
}

std::string WriteOrderPdf(NsoState& state, std::int32_t fId, const std::string& path, bool open) {
    ResetStatus(state);
    const std::string xml = GetXML(state, fId);
    if (state.Stato != kaOK) {
        return {};
    }
    if (LunghezzaTesto(xml) == 0) {
        state.Stato = kaErrNessunDatoDaElaborare;
        state.Errore = "document " + std::to_string(fId) +
                       " has no stored XML: it is not registered, or its XML never arrived";
        return {};
    }
    const Variant pdf = ConvertToPdf(state, xml);
    if (state.Stato != kaOK) {
        return {};
    }
    // A file that cannot be written, or a viewer that cannot be started, is a matter of the
    // settings the caller gave: kaErrParametri, with the reason in Errore.
    GuardOptions settingsFault;
    settingsFault.stato = kaErrParametri;
    std::string written;
    const bool saved = Guard(
        state, "WriteOrderPdf", [&] { written = SavePdf(PdfBytes(pdf), path); }, settingsFault);
    if (!saved || !open) {
        return written;
    }
    Guard(
        state, "WriteOrderPdf",
        [&] {
            const auto browser = CreateObjectAs<ApplicationBrowser>(progid::kApplicationBrowser);
            const bool installed = browser->IsInstalled();
            if (installed) {
                PathFile file(written);
                browser->OpenWithFile(file);
            }
            browser->Dispose();
            if (!installed) {
                state.Stato = kaErrParametri;
                state.Errore = "no PDF viewer is installed: the file is " + written;
            }
        },
        settingsFault);
    return written;
}

} // namespace kvad::nso
