// Editing dialogs: link parameters and drive.
#include "app/dialogs.h"

#include "model/mechanism_model.h"

void clear_planned() {
  mechanism &m = mech;
  const int n = m.n;
  for (int i = 1; i <= n; i++)
    if (m.J_known[i] == 'X') m.J_known[i] = 'N';
  for (int i = 1; i <= n; i++) {
    for (int j = 1; j <= n; j++) {
      if (m.ath_known[i][j] == 'X') m.ath_known[j][i] = m.ath_known[i][j] = 'N';
      if (m.l_known[i][j] == 'X') m.l_known[j][i] = m.l_known[i][j] = 'N';
      for (int k = 1; k <= n; k++)
        if (m.th_known[i][j][k] == 'X') m.th_known[k][j][i] = m.th_known[i][j][k] = 'N';
    }
  }
}
