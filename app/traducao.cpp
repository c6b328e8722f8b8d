#include "traducao.h"

#include <cstring>

namespace kelvara {

namespace {

// Qt's source text and ours, whatever the class that shows it. "&" marks
// the keyboard shortcut.
struct par_texto {
  const char* qt;
  const char* pt;
};
constexpr par_texto tabela[] = {
    // Buttons of message boxes and dialogs.
    {"OK", "OK"},
    {"&OK", "&OK"},
    {"&Yes", "&Sim"},
    {"&No", "&Não"},
    {"Yes to &All", "Sim para &todos"},
    {"N&o to All", "Nã&o para todos"},
    {"Cancel", "Cancelar"},
    {"&Cancel", "&Cancelar"},
    {"Save", "Guardar"},
    {"&Save", "&Guardar"},
    {"Open", "Abrir"},
    {"&Open", "&Abrir"},
    {"Close", "Fechar"},
    {"&Close", "&Fechar"},
    {"Help", "Ajuda"},
    {"&Choose", "&Escolher"},
    // File dialogs.
    {"Look in:", "Pasta:"},
    {"File &name:", "&Ficheiro:"},
    {"Files of type:", "Tipo:"},
    {"Directory:", "Pasta:"},
    {"Save As", "Guardar como"},
    {"Find Directory", "Escolher pasta"},
    {"Back", "Recuar"},
    {"Forward", "Avançar"},
    {"Parent Directory", "Pasta acima"},
    {"Create New Folder", "Criar pasta"},
    {"List View", "Lista"},
    {"Detail View", "Detalhes"},
    {"Sidebar", "Barra lateral"},
    {"&Rename", "&Mudar o nome"},
    {"&Delete", "&Apagar"},
    {"Show &hidden files", "Mostrar ficheiros &ocultos"},
    {"&New Folder", "&Nova pasta"},
    {"New Folder", "Nova pasta"},
    {"Directories", "Pastas"},
    {"Recent Places", "Locais recentes"},
    {"My Computer", "O meu computador"},
    {"Computer", "Computador"},
    {"All Files (*)", "Todos os ficheiros (*)"},
    {"Are you sure you want to delete '%1'?", "Quer mesmo apagar \"%1\"?"},
    {"'%1' is write protected.\nDo you want to delete it anyway?",
     "\"%1\" está protegido contra escrita.\nQuer apagá-lo mesmo assim?"},
    {"Could not delete directory.", "Não foi possível apagar a pasta."},
    {"%1 already exists.\nDo you want to replace it?", "%1 já existe.\nSubstituir?"},
    {"%1\nFile not found.\nPlease verify the correct file name was given.",
     "%1\nFicheiro não encontrado.\nVerifique se o nome está certo."},
    {"%1\nDirectory not found.\nPlease verify the correct directory name was given.",
     "%1\nPasta não encontrada.\nVerifique se o nome está certo."},
    {"Name", "Nome"},
    {"Size", "Tamanho"},
    {"Type", "Tipo"},
    {"Kind", "Tipo"},
    {"Date Modified", "Modificado"},
    {"File", "Ficheiro"},
    {"Folder", "Pasta"},
    {"File Folder", "Pasta"},
    {"Drive", "Unidade"},
    {"%1 File", "Ficheiro %1"},
    // The text boxes' context menu.
    {"&Undo", "&Anular"},
    {"&Redo", "&Refazer"},
    {"Cu&t", "Cor&tar"},
    {"&Copy", "&Copiar"},
    {"&Paste", "C&olar"},
    {"Delete", "Apagar"},
    {"Select All", "Seleccionar tudo"},
};

}  // namespace

QString traducao_pt::translate(const char* contexto, const char* texto, const char*, int) const
{
  // Only Qt's own classes; the program's texts are Portuguese already.
  if (!contexto || contexto[0] != 'Q' || !texto) return {};
  for (const par_texto& p : tabela)
    if (std::strcmp(p.qt, texto) == 0) return QString::fromUtf8(p.pt);
  return {};
}

}  // namespace kelvara
