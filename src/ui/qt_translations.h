#pragma once

// Qt's own texts (the buttons of the close question, the labels of the file dialog) in Japanese like every
// other text of the program, whatever the locale of the desktop says.
namespace QtTranslations {

// Installs Qt's Japanese catalogue into the application, once; false when it is not found (the package
// that holds it is missing), Qt's texts then staying English.
bool installJapanese();

} // namespace QtTranslations
