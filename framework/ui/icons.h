#pragma once
// Small drawn icons for the toolbars, so that they look the same on every
// machine (no icon theme or symbol font needed).

#include <QIcon>
#include <QString>

namespace fw {

// The icon of a toolbar operation by its name: "Incluir", "Alterar",
// "Excluir", "Verificar", "Cancelar", "Confirmar", "Procurar", "Imprimir",
// "Ajuda", "Fechar", "Copiar", "Visualizar", "SalvarComo", "Grafico". Any other name
// gets its first letter drawn in a box.
QIcon ToolIcon(const QString& operation);

}  // namespace fw
