// Camera 0 of celaris-sim: the members of the Alpaca Camera interface an
// imaging client needs, on the simulated camera.
#include <QJsonArray>

#include "celaris/dispatch/ascom_errors.h"
#include "celaris/drivers/alpaca/wire.h"
#include "celaris/drivers/camera/fits_image.h"
#include "json_answer.h"
#include "sim_server_impl.h"

namespace celaris::sim {

namespace {

const QString kSource = QStringLiteral("Celaris camera simulator");

// The image as Alpaca's ImageArray: columns (x) of rows (y), y = 0 the top
// row as displayed; the FITS rows run from the bottom.
QJsonValue ImageArray(const camera::CameraImage& image) {
    QJsonArray columns;
    for (int x = 0; x < image.width; ++x) {
        QJsonArray column;
        for (int y = image.height - 1; y >= 0; --y) column.append(int(image.At(x, y)));
        columns.append(column);
    }
    return columns;
}

}  // namespace

HttpAnswer SimServer::Impl::Camera(const ApiRequest& request, const std::string& member, bool get) {
    const FormFields f = FormFields::Parse(get ? request.query : request.body);
    const Transaction ids = IdsOf(f, get);
    camera::SimulatedCamera& c = camera;
    const camera::SimulatedCameraOptions& o = c.options();
    auto param = [&](const char* key) -> std::optional<std::string> {
        if (const std::string* v = f.Find(key, get)) return *v;
        return std::nullopt;
    };
    auto value = [&](std::function<QJsonValue()> fn) { return Call(ids, true, fn); };
    auto action = [&](std::function<void()> fn) {
        return Call(ids, false, [&] {
            fn();
            return QJsonValue();
        });
    };
    auto intParam = [&](const char* key) -> std::optional<int> {
        const auto v = param(key);
        return v ? alpaca_wire::ParseInt(*v) : std::nullopt;
    };

    if (get) {
        if (member == "connected") return value([&] { return QJsonValue(c.Linked()); });
        if (member == "name")
            return value([&] { return QJsonValue(QStringLiteral("Celaris camera simulator")); });
        if (member == "description" || member == "driverinfo")
            return value([&] { return QJsonValue(c.Description()); });
        if (member == "driverversion")
            return value([] { return QJsonValue(QStringLiteral("1.4")); });
        if (member == "interfaceversion") return value([] { return QJsonValue(3); });
        if (member == "supportedactions") return value([] { return QJsonValue(QJsonArray()); });
        if (member == "binx") return value([&] { return QJsonValue(c.BinX()); });
        if (member == "biny") return value([&] { return QJsonValue(c.BinY()); });
        if (member == "maxbinx") return value([&] { return QJsonValue(c.MaxBinX()); });
        if (member == "maxbiny") return value([&] { return QJsonValue(c.MaxBinY()); });
        if (member == "cameraxsize") return value([&] { return QJsonValue(o.widthPx); });
        if (member == "cameraysize") return value([&] { return QJsonValue(o.heightPx); });
        if (member == "numx") return value([&] { return QJsonValue(o.widthPx / c.BinX()); });
        if (member == "numy") return value([&] { return QJsonValue(o.heightPx / c.BinY()); });
        if (member == "startx" || member == "starty") return value([] { return QJsonValue(0); });
        if (member == "pixelsizex") return value([&] { return QJsonValue(c.PixelSizeX()); });
        if (member == "pixelsizey") return value([&] { return QJsonValue(c.PixelSizeY()); });
        if (member == "imageready") return value([&] { return QJsonValue(c.ImageReady()); });
        if (member == "camerastate")
            return value([&] {
                // 0 idle, 2 exposing.
                return QJsonValue(c.Linked() && !c.ImageReady() && busy ? 2 : 0);
            });
        if (member == "canabortexposure" || member == "canasymmetricbin")
            return value([] { return QJsonValue(true); });
        if (member == "canstopexposure" || member == "hasshutter" || member == "canpulseguide" ||
            member == "cangetcoolerpower" || member == "cansetccdtemperature" ||
            member == "canfastreadout")
            return value([] { return QJsonValue(false); });
        if (member == "exposuremin") return value([] { return QJsonValue(0.0); });
        if (member == "exposuremax") return value([] { return QJsonValue(3600.0); });
        if (member == "sensortype") return value([] { return QJsonValue(0); });
        if (member == "sensorname")
            return value([] { return QJsonValue(QStringLiteral("Simulated")); });
        if (member == "electronsperadu")
            return value([&] { return QJsonValue(o.gainElectronsPerAdu); });
        if (member == "fullwellcapacity")
            return value([&] { return QJsonValue(o.fullWellElectrons); });
        if (member == "maxadu") return value([] { return QJsonValue(65535); });
        if (member == "lastexposureduration")
            return value([&] { return QJsonValue(lastDuration); });
        if (member == "imagearray") {
            QJsonValue array;
            QString message;
            int number = 0;
            {
                std::lock_guard lock(devices);
                try {
                    const camera::CameraImage* image = c.readyImage();
                    if (image == nullptr)
                        dispatch::Raise(ascom_error::kInvalidOperation, kSource,
                                        QStringLiteral("There is no image: the exposure has not "
                                                       "ended."));
                    array = ImageArray(*image);
                } catch (...) {
                    const auto e = dispatch::CurrentError(kSource);
                    number = alpaca::AlpacaErrorNumber(e);
                    message = e.description();
                }
            }
            // {"Type": 2 (Int32), "Rank": 2, "Value": [[...]], ids, error}
            QJsonObject o2{
                {QStringLiteral("Type"), 2},
                {QStringLiteral("Rank"), 2},
                {QStringLiteral("Value"), number == 0 ? array : QJsonValue(QJsonArray())},
                {QStringLiteral("ClientTransactionID"), qint64(ids.clientTransactionId)},
                {QStringLiteral("ServerTransactionID"), qint64(++serverTransaction)},
                {QStringLiteral("ErrorNumber"), number},
                {QStringLiteral("ErrorMessage"), message}};
            return HttpAnswer::Json(QJsonDocument(o2).toJson(QJsonDocument::Compact).toStdString());
        }
        return HttpAnswer::Text(400, "Unknown camera member \"" + member + "\".");
    }

    if (member == "connected") {
        const auto v = param("Connected");
        const auto b = v ? alpaca_wire::ParseBool(*v) : std::nullopt;
        if (!b) return HttpAnswer::Text(400, "Missing or bad parameter Connected.");
        return action([&] { c.SetLinked(*b); });
    }
    if (member == "binx" || member == "biny") {
        const auto v = intParam(member == "binx" ? "BinX" : "BinY");
        if (!v) return HttpAnswer::Text(400, "Missing or bad binning parameter.");
        return action([&] { member == "binx" ? c.SetBinX(*v) : c.SetBinY(*v); });
    }
    if (member == "numx" || member == "numy" || member == "startx" || member == "starty")
        return action([] {});  // the whole frame is always read
    if (member == "startexposure") {
        const auto duration = param("Duration");
        const auto light = param("Light");
        const auto seconds = duration ? alpaca_wire::ParseDouble(*duration) : std::nullopt;
        const auto isLight = light ? alpaca_wire::ParseBool(*light) : std::nullopt;
        if (!seconds || !isLight)
            return HttpAnswer::Text(400, "startexposure needs Duration and Light.");
        return action([&] {
            c.StartExposure(*seconds, *isLight, c.HasFilterWheel() ? c.Filter() : 0);
            busy = true;
            lastDuration = *seconds;
        });
    }
    if (member == "abortexposure")
        return action([&] {
            c.AbortExposure();
            busy = false;
        });
    if (member == "stopexposure")
        return action([] { ascom_error::NotImplemented(kSource, QStringLiteral("StopExposure")); });
    return HttpAnswer::Text(400, "Unknown camera member \"" + member + "\".");
}

}  // namespace celaris::sim
