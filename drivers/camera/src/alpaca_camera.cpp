#include "celaris/drivers/camera/alpaca_camera.h"

#include <httplib.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>

#include <cstring>

#include "celaris/dispatch/ascom_errors.h"
#include "celaris/drivers/camera/fits_image.h"

namespace celaris::camera {

namespace {

// application/imagebytes: a little-endian header of eleven 32-bit integers.
struct ImageBytesHeader {
    int32_t metadataVersion, errorNumber, clientTransaction, serverTransaction, dataStart,
        imageElementType, transmissionElementType, rank, dim1, dim2, dim3;
};

}  // namespace

struct AlpacaCamera::Impl {
    drivers_list::AlpacaAddress address;
    QString source;
    std::unique_ptr<httplib::Client> http;
    uint32_t clientId = QRandomGenerator::global()->bounded(1u, 65536u);
    uint32_t transaction = 0;
    // The exposure being taken, for the FITS header.
    QDateTime started;
    double seconds = 0.0;
    bool light = true;
    std::optional<CameraImage> image;

    explicit Impl(drivers_list::AlpacaAddress a) : address(std::move(a)) {
        source = QStringLiteral("Alpaca camera %1:%2/%3")
                     .arg(address.host)
                     .arg(address.port)
                     .arg(address.deviceNumber);
        http = std::make_unique<httplib::Client>(address.host.toStdString(), address.port);
        http->set_connection_timeout(3, 0);
        http->set_read_timeout(10, 0);
        http->set_keep_alive(true);
    }

    std::string Path(const char* member) const {
        return "/api/v1/camera/" + std::to_string(address.deviceNumber) + "/" + member;
    }

    [[noreturn]] void Broken(const QString& why) const {
        dispatch::Raise(kCameraFailure, source, QStringLiteral("%1: %2.").arg(source, why));
    }

    QJsonObject Check(const httplib::Result& r, const char* member) const {
        if (!r)
            Broken(QStringLiteral("no answer to %1 (%2)")
                       .arg(QLatin1String(member),
                            QString::fromStdString(httplib::to_string(r.error()))));
        if (r->status == 400)
            dispatch::Raise(ascom_error::kInvalidValue, source,
                            QString::fromStdString(r->body).trimmed());
        if (r->status != 200)
            Broken(QStringLiteral("HTTP %1 to %2").arg(r->status).arg(QLatin1String(member)));
        QJsonParseError error;
        const QJsonDocument doc =
            QJsonDocument::fromJson(QByteArray::fromStdString(r->body), &error);
        if (!doc.isObject())
            Broken(QStringLiteral("%1 did not answer JSON").arg(QLatin1String(member)));
        const QJsonObject o = doc.object();
        const int number = o.value(QStringLiteral("ErrorNumber")).toInt();
        if (number != 0)
            dispatch::Raise(static_cast<int32_t>(0x80040000u + uint32_t(number)), source,
                            o.value(QStringLiteral("ErrorMessage")).toString());
        return o;
    }

    std::string Ids() {
        return "ClientID=" + std::to_string(clientId) +
               "&ClientTransactionID=" + std::to_string(++transaction);
    }

    QJsonValue Get(const char* member) {
        return Check(http->Get(Path(member) + "?" + Ids()), member).value(QStringLiteral("Value"));
    }

    void Put(const char* member, const std::string& form) {
        const std::string body = form.empty() ? Ids() : form + "&" + Ids();
        Check(http->Put(Path(member), body, "application/x-www-form-urlencoded"), member);
    }

    // The image, columns of rows with row 0 at the top, into FITS order.
    void ReadImage() {
        http->set_read_timeout(120, 0);
        auto r = http->Get(Path("imagearray") + "?" + Ids(),
                           httplib::Headers{{"Accept", "application/imagebytes"}});
        http->set_read_timeout(10, 0);
        CameraImage out;
        if (r && r->status == 200 &&
            r->get_header_value("Content-Type").find("application/imagebytes") == 0) {
            ImageBytesHeader h{};
            if (r->body.size() < sizeof h) Broken(QStringLiteral("a short imagebytes answer"));
            std::memcpy(&h, r->body.data(), sizeof h);
            if (h.errorNumber != 0)
                dispatch::Raise(static_cast<int32_t>(0x80040000u + uint32_t(h.errorNumber)), source,
                                QString::fromStdString(r->body.substr(size_t(h.dataStart))));
            if (h.rank != 2) Broken(QStringLiteral("only monochrome images are read"));
            out.width = h.dim1;
            out.height = h.dim2;
            const size_t n = size_t(h.dim1) * size_t(h.dim2);
            const int size = h.transmissionElementType == 2 ? 4 : 2;
            if (r->body.size() < size_t(h.dataStart) + n * size_t(size))
                Broken(QStringLiteral("a short image"));
            out.pixels.resize(n);
            const char* data = r->body.data() + h.dataStart;
            for (int x = 0; x < out.width; ++x)
                for (int y = 0; y < out.height; ++y) {
                    const size_t i = size_t(x) * size_t(out.height) + size_t(y);
                    int32_t v = 0;
                    if (size == 4) {
                        std::memcpy(&v, data + 4 * i, 4);
                    } else {
                        uint16_t u = 0;
                        std::memcpy(&u, data + 2 * i, 2);
                        v = h.transmissionElementType == 1 ? int16_t(u) : u;
                    }
                    out.pixels[size_t(out.height - 1 - y) * size_t(out.width) + size_t(x)] =
                        uint16_t(std::clamp(v, 0, 65535));
                }
        } else {
            const QJsonArray columns =
                Check(r, "imagearray").value(QStringLiteral("Value")).toArray();
            out.width = int(columns.size());
            out.height = out.width > 0 ? int(columns.at(0).toArray().size()) : 0;
            out.pixels.resize(size_t(out.width) * size_t(out.height));
            for (int x = 0; x < out.width; ++x) {
                const QJsonArray column = columns.at(x).toArray();
                if (column.size() != out.height) Broken(QStringLiteral("a ragged image array"));
                for (int y = 0; y < out.height; ++y)
                    out.pixels[size_t(out.height - 1 - y) * size_t(out.width) + size_t(x)] =
                        uint16_t(std::clamp(column.at(y).toInt(), 0, 65535));
            }
        }
        if (out.width <= 0 || out.height <= 0) Broken(QStringLiteral("an empty image"));
        out.dateObs = started;
        out.exposureSeconds = seconds;
        out.binX = Get("binx").toInt(1);
        out.binY = Get("biny").toInt(1);
        out.pixelSizeXUm = Get("pixelsizex").toDouble();
        out.pixelSizeYUm = Get("pixelsizey").toDouble();
        out.camera = Get("name").toString();
        out.lightFrame = light;
        image = std::move(out);
    }
};

AlpacaCamera::AlpacaCamera(drivers_list::AlpacaAddress address)
    : d_(std::make_unique<Impl>(std::move(address))) {}

AlpacaCamera::~AlpacaCamera() = default;

QString AlpacaCamera::Description() const {
    return d_->source;
}

void AlpacaCamera::SetLinked(bool linked) {
    d_->Put("connected", linked ? "Connected=true" : "Connected=false");
}

bool AlpacaCamera::Linked() {
    return d_->Get("connected").toBool();
}

int AlpacaCamera::MaxBinX() {
    return d_->Get("maxbinx").toInt();
}

int AlpacaCamera::MaxBinY() {
    return d_->Get("maxbiny").toInt();
}

int AlpacaCamera::BinX() {
    return d_->Get("binx").toInt();
}

int AlpacaCamera::BinY() {
    return d_->Get("biny").toInt();
}

void AlpacaCamera::SetBinX(int bin) {
    d_->Put("binx", "BinX=" + std::to_string(bin));
}

void AlpacaCamera::SetBinY(int bin) {
    d_->Put("biny", "BinY=" + std::to_string(bin));
}

bool AlpacaCamera::HasFilterWheel() {
    return false;
}

QStringList AlpacaCamera::FilterNames() {
    ascom_error::NotImplemented(d_->source, QStringLiteral("FilterNames"));
}

int AlpacaCamera::Filter() {
    return 0;
}

void AlpacaCamera::SetFilter(int position) {
    if (position != 0)
        ascom_error::InvalidValue(
            d_->source, QStringLiteral("An Alpaca camera has no filter wheel of its own"));
}

bool AlpacaCamera::StartExposure(double seconds, bool lightFrame, int) {
    d_->image.reset();
    d_->started = QDateTime::currentDateTimeUtc();
    d_->seconds = seconds;
    d_->light = lightFrame;
    d_->Put("startexposure", "Duration=" + QString::number(seconds, 'g', 10).toStdString() +
                                 "&Light=" + (lightFrame ? "true" : "false"));
    return true;
}

void AlpacaCamera::AbortExposure() {
    d_->image.reset();
    d_->Put("abortexposure", "");
}

bool AlpacaCamera::ImageReady() {
    return d_->Get("imageready").toBool();
}

void AlpacaCamera::PrepareImage() {
    if (!ImageReady())
        dispatch::Raise(kCameraFailure, d_->source,
                        QStringLiteral("There is no image to prepare."));
}

double AlpacaCamera::PixelSizeX() {
    return d_->Get("pixelsizex").toDouble();
}

double AlpacaCamera::PixelSizeY() {
    return d_->Get("pixelsizey").toDouble();
}

void AlpacaCamera::SaveImage(const QString& path) {
    if (!d_->image) {
        if (!ImageReady())
            dispatch::Raise(
                kCameraFailure, d_->source,
                QStringLiteral("There is no image to save: the exposure has not ended."));
        d_->ReadImage();
    }
    WriteFits(*d_->image, path, d_->source);
}

}  // namespace celaris::camera
