#include "utility/shell/FormPlaces.h"

#include "utility/shell/Form.h"
#include "utility/shell/ProgramState.h"
#include "utility/shell/SettingsStore.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

namespace KvlXGlobal {

namespace {

const QString kLeft = QStringLiteral("Left");
const QString kTop = QStringLiteral("Top");
const QString kWidth = QStringLiteral("Width");
const QString kHeight = QStringLiteral("Height");

bool isSizable(const Form* frm)
{
    return frm->BorderStyle() == Form::vbSizable;
}

// A stored place: a number rounded to a whole one that fits 32 bits, else nothing.
std::optional<int> storedPlace(const QString& text)
{
    if (text.isEmpty())
        return std::nullopt;
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    const double rounded = std::nearbyint(value);
    if (rounded < double(std::numeric_limits<qint32>::min()) || rounded > double(std::numeric_limits<qint32>::max()))
        return std::nullopt;
    return static_cast<int>(rounded);
}

// A stored size: as a place, and at least the window's least size in twips (a size below it, such
// as a few twips, is no size, and the window keeps its own).
std::optional<int> storedSize(const QString& text, int leastPixels)
{
    const std::optional<int> value = storedPlace(text);
    const qint64 least = qint64(std::max(leastPixels, 1)) * Form::TwipsPerPixel;
    return value.value_or(0) >= least ? value : std::nullopt;
}

} // namespace

void SaveFormPosition(Form* frm)
{
    if (!frm)
        return;
    const QRect place = frm->normalPlace();
    const QString section = frm->Name();
    SettingsStore::SaveSetting(section, kLeft, QString::number(place.x()));
    SettingsStore::SaveSetting(section, kTop, QString::number(place.y()));
    if (isSizable(frm)) {
        SettingsStore::SaveSetting(section, kWidth, QString::number(place.width()));
        SettingsStore::SaveSetting(section, kHeight, QString::number(place.height()));
    }
}

void RestoreFormPosition(Form* frm)
{
    if (!frm)
        return;
    const QString section = frm->Name();
    const auto left = storedPlace(SettingsStore::GetSetting(section, kLeft, QString()));
    const auto top = storedPlace(SettingsStore::GetSetting(section, kTop, QString()));
    std::optional<int> height;
    std::optional<int> width;
    if (isSizable(frm)) {
        // The least size the frame can be dragged to: its title bar and borders.
        const QSize least = frm->frame()->minimumSizeHint();
        height = storedSize(SettingsStore::GetSetting(section, kHeight, QString()), least.height());
        width = storedSize(SettingsStore::GetSetting(section, kWidth, QString()), least.width());
    }
    if (left)
        frm->setLeft(*left);
    if (top)
        frm->setTop(*top);
    if (height)
        frm->setHeight(*height);
    if (width)
        frm->setWidth(*width);
    // A place or a size stored on a larger screen, or edited by hand, is brought back where the
    // window can be seen whole.
    if (height || width)
        frm->limitSizeToView();
    frm->pullIntoView();
}

void SaveFormLeftTop(const QString& formName, int top, int left)
{
    SettingsStore::SaveSetting(formName, kLeft, QString::number(left));
    SettingsStore::SaveSetting(formName, kTop, QString::number(top));
}

void ResetDesktopLayout()
{
    int x = 100;
    int y = 100;
    for (const QString& name : gChildFormNames) {
        SaveFormLeftTop(name, y, x);
        x += 500;
        y += 500;
    }
    for (Form* frm : Form::Forms()) {
        if (frm->Name() != QLatin1String("frmMain"))
            RestoreFormPosition(frm);
    }
}

void CloseChildForms()
{
    for (Form* frm : Form::Forms()) {
        if (frm->Visible() && frm->Name() != QLatin1String("frmMain"))
            Form::Unload(frm);
    }
}

} // namespace KvlXGlobal
