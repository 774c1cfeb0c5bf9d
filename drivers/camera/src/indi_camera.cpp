#include "celaris/drivers/camera/indi_camera.h"

#include <QDateTime>

#include <cmath>
#include <functional>
#include <optional>

#include "celaris/dispatch/ascom_errors.h"
#include "celaris/drivers/camera/fits_image.h"

namespace celaris::camera {

using indi::CacheView;
using indi::IndiClient;
using indi::Message;
using indi::Property;
using indi::PropertyState;
using indi::WaitResult;
using namespace std::chrono_literals;

namespace {

// The definitions of a newly connected device come in one burst.
constexpr auto kDefinitionsQuiet = 300ms;
constexpr auto kDefinitionsMax = 3s;
// How long an Alert that may be an echo of an earlier one must stand.
constexpr auto kStaleAlert = 500ms;
// A server that has defined nothing for this long has defined all it has.
constexpr auto kServerQuiet = 500ms;

QString P(const char* name) {
    return QString::fromLatin1(name);
}

double Seconds(std::chrono::milliseconds ms) {
    return double(ms.count()) / 1000.0;
}

// What a device said about a refusal: its last warning or error, else its
// last message; empty when it said nothing.
QString LastWord(const QList<Message>& messages) {
    for (qsizetype i = messages.size() - 1; i >= 0; --i) {
        const QString& t = messages[i].text;
        if (t.contains(QLatin1String("[ERROR]")) || t.contains(QLatin1String("[WARNING]")))
            return t;
    }
    return messages.isEmpty() ? QString() : messages.back().text;
}

}  // namespace

struct IndiCamera::Impl {
    indi::IndiAddress address;
    IndiCameraOptions options;
    QString source;
    std::unique_ptr<IndiClient> client;
    QString wheel;
    // The sequence number the exposure's command went out at; nothing when
    // no exposure was started since linking or the last abort.
    std::optional<uint64_t> exposureSent;
    // What the saved file's header should say when the device leaves it out.
    CameraImage header;

    Impl(indi::IndiAddress a, IndiCameraOptions o) : address(std::move(a)), options(std::move(o)) {
        source = QStringLiteral("INDI camera \"%1\" at %2:%3")
                     .arg(address.device, address.host)
                     .arg(address.port);
    }

    const QString& device() const { return address.device; }
    QString Where() const { return QStringLiteral("%1:%2").arg(address.host).arg(address.port); }
    IndiClient::Clock::time_point In(std::chrono::milliseconds ms) const {
        return IndiClient::Clock::now() + ms;
    }

    [[noreturn]] void Fail(int32_t number, const QString& text) const {
        dispatch::Raise(number, source, text);
    }

    [[noreturn]] void RaiseLost() const {
        Fail(ascom_error::kNotConnected,
             QStringLiteral("Lost the connection to the INDI server at %1 (%2): check that "
                            "indiserver still runs there with the camera's driver, then link "
                            "the camera again.")
                 .arg(Where(), client ? client->LostReason() : QString()));
    }

    void RequireLinked() const {
        if (client && client->IsLost()) RaiseLost();
        if (!client || !client->IsOpen())
            Fail(ascom_error::kNotConnected,
                 QStringLiteral("The %1 is not linked: link it first.").arg(source));
        const auto c = client->Find(device(), P("CONNECTION"));
        if (!c || !c->IsOn(P("CONNECT")))
            Fail(
                ascom_error::kNotConnected,
                QStringLiteral("The INDI device \"%1\" was disconnected (by another INDI client?): "
                               "link the camera again.")
                    .arg(device()));
    }

    std::optional<Property> Prop(const QString& dev, const char* name) const {
        if (client->IsLost()) RaiseLost();
        return client->Find(dev, P(name));
    }

    Property Need(const QString& dev, const char* name) const {
        RequireLinked();
        auto p = Prop(dev, name);
        if (!p)
            Fail(ascom_error::kNotImplemented,
                 QStringLiteral("The INDI device \"%1\" defines no %2: it cannot serve this.")
                     .arg(dev, P(name)));
        return std::move(*p);
    }

    double NeedNumber(const QString& dev, const char* name, const char* element) const {
        const Property p = Need(dev, name);
        const auto v = p.Number(P(element));
        if (!v || !std::isfinite(*v))
            Fail(kCameraFailure, QStringLiteral("The INDI device \"%1\" sent no usable %2.%3.")
                                     .arg(dev, P(name), P(element)));
        return *v;
    }

    // Sends, then waits until `done` holds for the property (reported after
    // the command) or the device reports Alert on it, which raises
    // `refusal` with the device's message.
    //
    // INDI drivers often echo a vector with the state it had before they
    // act on it: after an earlier refusal, a first Alert may be stale. Then
    // only an Alert after a message, or one nothing follows for a moment,
    // is the device's answer.
    uint64_t Command(const QString& what, const QString& dev, const char* name,
                     const std::function<uint64_t()>& send,
                     const std::function<bool(const CacheView&, const Property&, uint64_t)>& done,
                     std::chrono::milliseconds timeout, int32_t refusal) {
        const auto before = client->Find(dev, P(name));
        const bool wasAlert = before && before->state == PropertyState::Alert;
        const uint64_t sent = send();
        bool refused = false;
        bool gone = false;
        QList<Message> said;
        const auto deadline = In(timeout);
        WaitResult r = WaitResult::TimedOut;
        do {
            r = client->WaitUntil(std::min(deadline, In(100ms)), [&](const CacheView& v) {
                said = v.MessagesAfter(dev, sent);
                const Property* p = v.Find(dev, P(name));
                gone = p == nullptr;
                if (gone) return true;
                refused = p->SeenAfter(PropertyState::Alert, sent) &&
                          p->state == PropertyState::Alert &&
                          (!wasAlert || !said.isEmpty() ||
                           IndiClient::Clock::now() - p->receivedAt >= kStaleAlert);
                return refused || done(v, *p, sent);
            });
        } while (r == WaitResult::TimedOut && IndiClient::Clock::now() < deadline);
        if (r == WaitResult::Lost) RaiseLost();
        if (gone)
            Fail(
                ascom_error::kNotConnected,
                QStringLiteral("The INDI device \"%1\" no longer offers %2: link the camera again.")
                    .arg(dev, P(name)));
        const QString word = LastWord(said);
        if (refused)
            Fail(
                refusal,
                word.isEmpty()
                    ? QStringLiteral("The INDI device \"%1\" refused %2 (%3 Alert).")
                          .arg(dev, what, P(name))
                    : QStringLiteral("The INDI device \"%1\" refused %2: %3").arg(dev, what, word));
        if (r == WaitResult::TimedOut)
            Fail(kCameraFailure,
                 QStringLiteral("The INDI device \"%1\" did not answer %2 within %3 s%4")
                     .arg(dev, what)
                     .arg(Seconds(timeout))
                     .arg(word.isEmpty() ? QStringLiteral(": check the device and its driver.")
                                         : QStringLiteral("; it said: ") + word));
        return sent;
    }

    // ---- Linking ----------------------------------------------------------

    // Whether the device defines the property within the connect time-out;
    // asked to, gives up once the server has defined nothing for a moment
    // (it sends what it has in one burst, so a missing device shows fast).
    bool WaitForDefinition(const QString& dev, const char* name, bool orUntilQuiet = false) {
        const auto deadline = In(options.connectTimeout);
        for (;;) {
            const WaitResult r = client->WaitUntil(
                std::min(deadline, In(100ms)),
                [&](const CacheView& v) { return v.Find(dev, P(name)) != nullptr; });
            if (r == WaitResult::Lost) RaiseLost();
            if (r == WaitResult::Satisfied) return true;
            if (IndiClient::Clock::now() >= deadline) return false;
            if (orUntilQuiet && client->SinceLastDefinition() >= kServerQuiet) return false;
        }
    }

    void ConnectDevice(const QString& dev) {
        const auto c = client->Find(dev, P("CONNECTION"));
        if (c && c->IsOn(P("CONNECT")) && c->state == PropertyState::Ok) return;
        const uint64_t sent = client->SendSwitches(dev, P("CONNECTION"), {{P("CONNECT"), true}});
        bool refused = false;
        QList<Message> said;
        const WaitResult r = client->WaitUntil(In(options.deviceTimeout), [&](const CacheView& v) {
            said = v.MessagesAfter(dev, sent);
            const Property* p = v.Find(dev, P("CONNECTION"));
            if (p == nullptr) return false;
            refused = p->SeenAfter(PropertyState::Alert, sent);
            return refused || (p->IsOn(P("CONNECT")) && p->state == PropertyState::Ok);
        });
        if (r == WaitResult::Lost) RaiseLost();
        if (r != WaitResult::Satisfied || refused) {
            const QString word = LastWord(said);
            Fail(ascom_error::kNotConnected,
                 QStringLiteral("The INDI device \"%1\" did not connect%2: check that it is "
                                "plugged in and powered, then link the camera again.")
                     .arg(dev,
                          word.isEmpty()
                              ? QStringLiteral(" within %1 s").arg(Seconds(options.deviceTimeout))
                              : QStringLiteral(" (%1)").arg(word)));
        }
    }

    void Link() {
        client = std::make_unique<IndiClient>(address.host, address.port);
        QString error;
        if (!client->Open(options.connectTimeout, &error))
            Fail(ascom_error::kNotConnected,
                 QStringLiteral("Cannot reach the INDI server at %1 (%2): start indiserver with "
                                "the camera's driver there, or correct the camera id.")
                     .arg(Where(), error));
        client->GetProperties();
        // Images come only to clients that ask for them.
        client->EnableBlobs(device());
        if (!WaitForDefinition(device(), "CONNECTION", true)) {
            QStringList devices = client->Devices();
            Fail(ascom_error::kNotConnected,
                 QStringLiteral("The INDI server at %1 offers no device \"%2\" (it offers: %3): "
                                "correct the camera id or start the camera's driver.")
                     .arg(Where(), device(),
                          devices.isEmpty() ? QStringLiteral("none")
                                            : devices.join(QStringLiteral(", "))));
        }
        ConnectDevice(device());
        if (!WaitForDefinition(device(), "CCD_EXPOSURE"))
            Fail(ascom_error::kNotConnected,
                 QStringLiteral("The INDI device \"%1\" defines no CCD_EXPOSURE: it is not a "
                                "camera. Choose its CCD device in the camera id.")
                     .arg(device()));
        // A driver fills in its sensor's size after it has connected.
        client->WaitUntil(In(options.connectTimeout), [&](const CacheView& v) {
            const Property* info = v.Find(device(), P("CCD_INFO"));
            return info != nullptr && info->Number(P("CCD_MAX_X")).value_or(0.0) > 0.0;
        });
        client->WaitDefinitionsQuiet(kDefinitionsQuiet, In(kDefinitionsMax));
        wheel = FindWheel();
        exposureSent.reset();
    }

    QString FindWheel() {
        QString candidate = options.wheelDevice;
        if (candidate.isEmpty()) {
            const auto snoop = client->Find(device(), P("ACTIVE_DEVICES"));
            candidate =
                snoop ? snoop->Text(P("ACTIVE_FILTER")).value_or(QString()).trimmed() : QString();
            // The snooped name is only a default the driver carries; it
            // counts when the server has such a device. Its definitions may
            // still be on their way from a slow driver, so wait for them
            // until the server falls quiet rather than look only once.
            if (!candidate.isEmpty() && candidate != device() &&
                !WaitForDefinition(candidate, "CONNECTION", true))
                candidate.clear();
        }
        if (candidate.isEmpty() || candidate == device())
            return client->Find(device(), P("FILTER_SLOT")) ? device() : QString();
        if (!WaitForDefinition(candidate, "CONNECTION", true))
            Fail(ascom_error::kNotConnected,
                 QStringLiteral("The INDI server at %1 offers no filter wheel \"%2\": correct "
                                "the wheel's device name or start its driver.")
                     .arg(Where(), candidate));
        ConnectDevice(candidate);
        if (!WaitForDefinition(candidate, "FILTER_SLOT"))
            Fail(ascom_error::kNotConnected,
                 QStringLiteral("The INDI device \"%1\" defines no FILTER_SLOT: it is not a filter "
                                "wheel.")
                     .arg(candidate));
        return candidate;
    }

    // ---- Settings -----------------------------------------------------------

    int MaxBin(const char* element) const {
        const Property p = Need(device(), "CCD_BINNING");
        const indi::Element* e = p.Find(P(element));
        return e != nullptr && e->max >= 1.0 ? int(e->max) : 1;
    }

    void SetBin(const char* element, int bin) {
        const int max = MaxBin(element);
        if (bin < 1 || bin > max)
            ascom_error::InvalidValue(
                source, QStringLiteral("Binning %1 (the camera bins 1 to %2)").arg(bin).arg(max));
        const QString name = P(element);
        // Both axes go out: drivers apply the pair at once.
        const QString other = name == QLatin1String("HOR_BIN") ? P("VER_BIN") : P("HOR_BIN");
        const double otherBin = NeedNumber(device(), "CCD_BINNING", qPrintable(other));
        Command(
            QStringLiteral("binning %1").arg(bin), device(), "CCD_BINNING",
            [&] {
                return client->SendNumbers(device(), P("CCD_BINNING"),
                                           {{name, double(bin)}, {other, otherBin}});
            },
            [&](const CacheView&, const Property& p, uint64_t sent) {
                return p.Number(name) == double(bin) && (p.SeenAfter(PropertyState::Ok, sent) ||
                                                         p.SeenAfter(PropertyState::Idle, sent));
            },
            options.commandTimeout, ascom_error::kInvalidValue);
    }

    // The wheel's first slot number (INDI counts from 1) and its count.
    std::pair<int, int> Slots() const {
        const Property slot = Need(wheel, "FILTER_SLOT");
        const indi::Element* e = slot.Find(P("FILTER_SLOT_VALUE"));
        const int first = e != nullptr && e->max >= e->min ? int(e->min) : 1;
        const auto names = Prop(wheel, "FILTER_NAME");
        const int count = names && !names->elements.isEmpty() ? int(names->elements.size())
                          : e != nullptr && e->max >= e->min  ? int(e->max - e->min) + 1
                                                              : 1;
        return {first, count};
    }

    void MoveWheel(int position) {
        const auto [first, count] = Slots();
        if (position < 0 || position >= count)
            ascom_error::InvalidValue(
                source,
                QStringLiteral("Filter %1 (the wheel has 0 to %2)").arg(position).arg(count - 1));
        const double target = first + position;
        const auto now = Prop(wheel, "FILTER_SLOT");
        if (now && now->Number(P("FILTER_SLOT_VALUE")) == target &&
            now->state != PropertyState::Busy)
            return;
        Command(
            QStringLiteral("filter %1").arg(position), wheel, "FILTER_SLOT",
            [&] {
                return client->SendNumbers(wheel, P("FILTER_SLOT"),
                                           {{P("FILTER_SLOT_VALUE"), target}});
            },
            [&](const CacheView&, const Property& p, uint64_t sent) {
                return p.state == PropertyState::Ok && p.SeenAfter(PropertyState::Ok, sent) &&
                       p.Number(P("FILTER_SLOT_VALUE")) == target;
            },
            options.wheelTimeout, ascom_error::kInvalidOperation);
    }

    void SetFrameType(bool light) {
        const auto type = Prop(device(), "CCD_FRAME_TYPE");
        const QString element = light ? P("FRAME_LIGHT") : P("FRAME_DARK");
        if (!type || !type->Has(element) || type->IsOn(element)) return;
        Command(
            light ? QStringLiteral("a light frame") : QStringLiteral("a dark frame"), device(),
            "CCD_FRAME_TYPE",
            [&] {
                return client->SendSwitches(device(), P("CCD_FRAME_TYPE"), {{element, true}});
            },
            [&](const CacheView&, const Property& p, uint64_t sent) {
                return p.IsOn(element) && p.updated > sent;
            },
            options.commandTimeout, ascom_error::kInvalidOperation);
    }

    // Settings of the device under which no image would reach Celaris as
    // plain FITS; refused before exposing rather than after.
    void CheckTransfer() const {
        const auto refuse = [&](const QString& why) {
            Fail(ascom_error::kInvalidOperation,
                 QStringLiteral("The INDI device \"%1\" %2").arg(device(), why));
        };
        const auto compression = Prop(device(), "CCD_COMPRESSION");
        if (compression && compression->IsOn(P("INDI_ENABLED")))
            refuse(QStringLiteral(
                "compresses its images (CCD_COMPRESSION) and Celaris reads plain FITS only: "
                "switch the compression off in the device's Image Settings."));
        const auto format = Prop(device(), "CCD_TRANSFER_FORMAT");
        if (format && !format->IsOn(P("FORMAT_FITS")) && format->Has(P("FORMAT_FITS")))
            refuse(QStringLiteral(
                "sends its images in another format than FITS (CCD_TRANSFER_FORMAT): choose FITS "
                "in the device's Image Settings."));
        const auto upload = Prop(device(), "UPLOAD_MODE");
        if (upload && upload->IsOn(P("UPLOAD_LOCAL")))
            refuse(QStringLiteral(
                "keeps its images on the server's computer (UPLOAD_MODE Local): set its upload "
                "mode to Client or Both."));
    }

    // ---- The image ----------------------------------------------------------

    // The image BLOB that arrived since the exposure started, if any.
    std::optional<indi::Element> ArrivedImage() {
        RequireLinked();
        if (!exposureSent) return std::nullopt;
        const auto blob = Prop(device(), "CCD1");
        if (blob && blob->updated > *exposureSent && !blob->elements.isEmpty() &&
            !blob->elements.front().blob.isEmpty())
            return blob->elements.front();
        const auto expo = Prop(device(), "CCD_EXPOSURE");
        // Alert now (not an echo of an earlier failure that Busy followed).
        if (expo && expo->state == PropertyState::Alert &&
            expo->SeenAfter(PropertyState::Alert, *exposureSent)) {
            const QString word = LastWord(client->MessagesAfter(device(), *exposureSent));
            exposureSent.reset();
            Fail(
                kCameraFailure,
                QStringLiteral("The INDI device \"%1\" failed the exposure%2: check the camera "
                               "and expose again.")
                    .arg(device(), word.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(word)));
        }
        return std::nullopt;
    }
};

IndiCamera::IndiCamera(indi::IndiAddress address, IndiCameraOptions options)
    : d_(std::make_unique<Impl>(std::move(address), std::move(options))) {}

IndiCamera::~IndiCamera() = default;

QString IndiCamera::WheelDevice() const {
    return d_->wheel;
}

const indi::IndiClient* IndiCamera::client() const {
    return d_->client.get();
}

QString IndiCamera::Description() const {
    return d_->source;
}

void IndiCamera::SetLinked(bool linked) {
    if (!linked) {
        // Only Celaris's connection goes: other INDI clients may share the
        // device, so the device itself stays connected.
        if (d_->client) d_->client->Close();
        d_->exposureSent.reset();
        return;
    }
    if (Linked()) return;
    try {
        d_->Link();
    } catch (...) {
        if (d_->client) d_->client->Close();
        throw;
    }
}

bool IndiCamera::Linked() {
    if (!d_->client || !d_->client->IsOpen()) return false;
    const auto c = d_->client->Find(d_->device(), P("CONNECTION"));
    return c && c->IsOn(P("CONNECT"));
}

int IndiCamera::MaxBinX() {
    return d_->MaxBin("HOR_BIN");
}

int IndiCamera::MaxBinY() {
    return d_->MaxBin("VER_BIN");
}

int IndiCamera::BinX() {
    return int(std::lround(d_->NeedNumber(d_->device(), "CCD_BINNING", "HOR_BIN")));
}

int IndiCamera::BinY() {
    return int(std::lround(d_->NeedNumber(d_->device(), "CCD_BINNING", "VER_BIN")));
}

void IndiCamera::SetBinX(int bin) {
    d_->SetBin("HOR_BIN", bin);
}

void IndiCamera::SetBinY(int bin) {
    d_->SetBin("VER_BIN", bin);
}

bool IndiCamera::HasFilterWheel() {
    d_->RequireLinked();
    return !d_->wheel.isEmpty();
}

QStringList IndiCamera::FilterNames() {
    d_->RequireLinked();
    if (d_->wheel.isEmpty())
        ascom_error::NotImplemented(d_->source, QStringLiteral("FilterNames (no filter wheel)"));
    const auto [first, count] = d_->Slots();
    QStringList names;
    const auto given = d_->Prop(d_->wheel, "FILTER_NAME");
    for (int i = 0; i < count; ++i) {
        const QString name =
            given && i < given->elements.size() ? given->elements[i].text : QString();
        names.append(name.isEmpty() ? QStringLiteral("Filter %1").arg(first + i) : name);
    }
    return names;
}

int IndiCamera::Filter() {
    d_->RequireLinked();
    if (d_->wheel.isEmpty()) return 0;
    const int first = d_->Slots().first;
    return int(std::lround(d_->NeedNumber(d_->wheel, "FILTER_SLOT", "FILTER_SLOT_VALUE"))) - first;
}

void IndiCamera::SetFilter(int position) {
    d_->RequireLinked();
    if (d_->wheel.isEmpty()) {
        if (position != 0)
            ascom_error::InvalidValue(
                d_->source,
                QStringLiteral("Filter %1 (the camera has no filter wheel)").arg(position));
        return;
    }
    d_->MoveWheel(position);
}

bool IndiCamera::StartExposure(double seconds, bool lightFrame, int filter) {
    const Property expo = d_->Need(d_->device(), "CCD_EXPOSURE");
    if (!std::isfinite(seconds) || seconds < 0.0)
        ascom_error::InvalidValue(d_->source, QStringLiteral("An exposure of %1 s").arg(seconds));
    if (expo.state == PropertyState::Busy)
        d_->Fail(ascom_error::kInvalidOperation,
                 QStringLiteral("An exposure is under way on the INDI device \"%1\": wait for its "
                                "image or abort it first.")
                     .arg(d_->device()));
    d_->CheckTransfer();
    // A zero-second frame (a bias) is the device's shortest exposure.
    if (const indi::Element* e = expo.Find(P("CCD_EXPOSURE_VALUE")); e && seconds < e->min)
        seconds = e->min;
    if (!d_->wheel.isEmpty()) d_->MoveWheel(filter);
    d_->SetFrameType(lightFrame);

    CameraImage& h = d_->header;
    h = CameraImage{};
    h.binX = BinX();
    h.binY = BinY();
    h.pixelSizeXUm = PixelSizeX();
    h.pixelSizeYUm = PixelSizeY();
    h.exposureSeconds = seconds;
    h.lightFrame = lightFrame;
    h.dateObs = QDateTime::currentDateTimeUtc();
    d_->exposureSent.reset();
    d_->exposureSent = d_->Command(
        QStringLiteral("an exposure of %1 s").arg(seconds), d_->device(), "CCD_EXPOSURE",
        [&] {
            return d_->client->SendNumbers(d_->device(), P("CCD_EXPOSURE"),
                                           {{P("CCD_EXPOSURE_VALUE"), seconds}});
        },
        [&](const CacheView& v, const Property& p, uint64_t sent) {
            // Busy while exposing; a very short exposure may be over (Ok,
            // its image here) before the first report of Busy.
            const Property* blob = v.Find(d_->device(), P("CCD1"));
            return p.SeenAfter(PropertyState::Busy, sent) || p.SeenAfter(PropertyState::Ok, sent) ||
                   (blob && blob->updated > sent);
        },
        d_->options.commandTimeout, ascom_error::kInvalidOperation);
    return true;
}

void IndiCamera::AbortExposure() {
    const Property expo = d_->Need(d_->device(), "CCD_EXPOSURE");
    d_->exposureSent.reset();
    if (expo.state != PropertyState::Busy) return;
    d_->Command(
        QStringLiteral("the abort of the exposure"), d_->device(), "CCD_EXPOSURE",
        [&] {
            return d_->client->SendSwitches(d_->device(), P("CCD_ABORT_EXPOSURE"),
                                            {{P("ABORT"), true}});
        },
        [&](const CacheView&, const Property& p, uint64_t) {
            return p.state != PropertyState::Busy;
        },
        d_->options.commandTimeout, ascom_error::kInvalidOperation);
}

bool IndiCamera::ImageReady() {
    return d_->ArrivedImage().has_value();
}

void IndiCamera::PrepareImage() {
    if (!ImageReady())
        d_->Fail(kCameraFailure, QStringLiteral("There is no image to prepare: the exposure has "
                                                "not ended."));
}

double IndiCamera::PixelSizeX() {
    const Property info = d_->Need(d_->device(), "CCD_INFO");
    return info.Number(P("CCD_PIXEL_SIZE_X"))
        .value_or(info.Number(P("CCD_PIXEL_SIZE")).value_or(0));
}

double IndiCamera::PixelSizeY() {
    const Property info = d_->Need(d_->device(), "CCD_INFO");
    return info.Number(P("CCD_PIXEL_SIZE_Y"))
        .value_or(info.Number(P("CCD_PIXEL_SIZE")).value_or(0));
}

void IndiCamera::SaveImage(const QString& path) {
    const auto image = d_->ArrivedImage();
    if (!image)
        d_->Fail(kCameraFailure,
                 QStringLiteral("There is no image to save: the exposure has not ended (or was "
                                "aborted). Wait until the image is ready."));
    const QString format = image->format.trimmed().toLower();
    if (format != QLatin1String(".fits")) {
        const bool compressed = format.startsWith(QLatin1String(".fits"));
        d_->Fail(kCameraFailure,
                 compressed
                     ? QStringLiteral("The INDI device \"%1\" sent its image compressed (%2) and "
                                      "Celaris reads plain FITS only: switch the compression "
                                      "(CCD_COMPRESSION) off and expose again.")
                           .arg(d_->device(), image->format)
                     : QStringLiteral("The INDI device \"%1\" sent its image as \"%2\", not FITS: "
                                      "choose FITS as its transfer format (CCD_TRANSFER_FORMAT) "
                                      "and expose again.")
                           .arg(d_->device(), image->format));
    }
    WriteFitsBytes(image->blob, path, d_->source);
    AddMissingFitsKeywords(path, d_->header, d_->source);
}

}  // namespace celaris::camera
