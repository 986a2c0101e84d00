#include "cli/data_loss_lines.h"

namespace cli {

std::vector<std::string> DataLossLines(const std::vector<schema::FieldLossPreview>& previews) {
  std::vector<std::string> lines;
  if (previews.empty()) return lines;
  lines.push_back("Anteprima dei campi da ricostruire:");
  for (const schema::FieldLossPreview& preview : previews) {
    std::string line = "Tabella  " + preview.table + " : Campo " + preview.field + " - " +
                       std::to_string(preview.rows) + " righe: ";
    if (preview.not_convertible == 0 && preview.cut == 0) {
      line += "nessun valore perso";
    } else {
      line += std::to_string(preview.not_convertible) + " valori non convertibili, " + std::to_string(preview.cut) +
              " troncati";
      if (preview.not_convertible != 0) line += " (la copia si fermerebbe al primo non convertibile)";
    }
    lines.push_back(line);
  }
  return lines;
}

}  // namespace cli
