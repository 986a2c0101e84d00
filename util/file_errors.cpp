#include "util/file_errors.h"

#include "util/path_helpers.h"

namespace util {

int16_t FileErrors(Platform& platform, int16_t errVal, std::string N_filename) {
  std::string device = N_filename.substr(0, 2);
  device.resize(2, ' ');
  constexpr int kExclamation = 48;
  constexpr int kRetryCancel = 53;
  std::string message;
  int style = kExclamation;
  switch (errVal) {
    case 52:
    case 64: message = "Il nome dell'archivio non è corretto."; break;
    case 54: message = "L'archivio non si può aprire per quel tipo di accesso."; break;
    case 55: message = "L'archivio è già aperto."; style = kRetryCancel; break;
    case 57: message = "Errore di I/O sul DEVICE del file   " + device; style = kRetryCancel; break;
    case 61: message = "Non c'è più spazio sul disco   " + device; style = kRetryCancel; break;
    case 62: message = "L'archivio ha un fine-file non standard,\no è stata fatta una lettura oltre la fine."; break;
    case 68: message = "Questo device non e' utilizzabile   " + device; break;
    case 71: message = "Il disco non è pronto   " + device; style = kRetryCancel; break;
    case 75: message = "Errore di accesso al percorso/file"; break;
    case 76: {
      message = "Questo percorso non esiste.";
      style = kRetryCancel;
      std::string folder = DirDaPath(N_filename, "\\");
      N_filename = XBarFromPath(folder, false, "\\");
      break;
    }
    default: return kFileErrorNoMessage;
  }
  switch (platform.MessageBox(message, style, "Errori su  " + N_filename)) {
    case 1:
    case 2:
    case 3: return kFileErrorGiveUp;
    case 4: return kFileErrorRetry;
    case 5: return kFileErrorIgnore;
    default: return kFileErrorNoMessage;
  }
}

}  // namespace util
