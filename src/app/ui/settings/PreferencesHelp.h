#pragma once

class QWidget;

namespace tess {

class HelpPopover;

// The help popovers of the settings sheet's exclusions card.
namespace preferencesHelp {

// What the exclude patterns match, with a table of examples.
HelpPopover* excludePatterns(QWidget* anchor);

// What is always left out of a scan.
HelpPopover* implicitExclusions(QWidget* anchor);

}  // namespace preferencesHelp

}  // namespace tess
