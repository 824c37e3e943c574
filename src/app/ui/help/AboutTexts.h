#pragma once

#include <QString>
#include <QVariantMap>

namespace tess::AboutTexts {

// "Version V (B)" from a bundle-information map: "version" and "build", each
// "Unknown" when missing or not text.
QString versionString(const QVariantMap& info);

// The acknowledgments switch's title for its state.
QString acknowledgmentsTitle(bool shown);

// The About box's height for the acknowledgments' state.
int boxHeight(bool acknowledgmentsShown);

}  // namespace tess::AboutTexts
