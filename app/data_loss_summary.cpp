#include "app/data_loss_summary.h"

namespace app {

std::string DataLossSummary(const std::vector<schema::FieldLossPreview>& fields) {
  if (fields.empty()) return "";
  std::string text = "Campi da ricostruire (righe locali):";
  for (const schema::FieldLossPreview& field : fields) {
    text += "\n" + field.table + "." + field.field + ": " + std::to_string(field.rows) + " righe";
    if (field.not_convertible == 0 && field.cut == 0) {
      text += ", nessun valore perso";
      continue;
    }
    if (field.not_convertible > 0)
      text += ", " + std::to_string(field.not_convertible) + " non convertibili (l'aggiornamento fallirebbe)";
    if (field.cut > 0) text += ", " + std::to_string(field.cut) + " troncate";
  }
  return text;
}

}  // namespace app
