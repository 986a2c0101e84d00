#include "app/data_loss_summary.h"

#include <gtest/gtest.h>

namespace {

TEST(DataLossSummary, NamesEachRebuiltFieldWithWhatItsRowsWouldLose) {
  EXPECT_EQ(app::DataLossSummary({}), "");
  schema::FieldLossPreview safe{"Clienti", "Nome", 10, 10, 20, 50, 12, 0, 0};
  schema::FieldLossPreview risky{"Clienti", "Codice", 10, 4, 10, 4, 12, 2, 0};
  schema::FieldLossPreview shorter{"Ordini", "Nota", 10, 10, 50, 5, 3, 0, 3};
  EXPECT_EQ(app::DataLossSummary({safe, risky, shorter}),
            "Campi da ricostruire (righe locali):\n"
            "Clienti.Nome: 12 righe, nessun valore perso\n"
            "Clienti.Codice: 12 righe, 2 non convertibili (l'aggiornamento fallirebbe)\n"
            "Ordini.Nota: 3 righe, 3 troncate");
}

}  // namespace
