// Portuguese captions of the imaging dialogs.
#include "imaging/core/messages/iemessages_rows.h"

void IEFillPortugueseMessages() {
  static const char16_t* const kTexts[] = {
      u"Zoom", u"Visualização", u"Original", u"Resultado", u"OK", u"Cancelar",
      u"Bloquear visualização", u"Copiar resultado para o original", u"Contraste", u"Brilho",
      // 10
      u"Matiz", u"Saturação", u"Valor", u"Cor base", u"Nova cor", u"Luminância", u"Vermelho",
      u"Verde", u"Azul", u"Valores do filtro",
      // 20
      u"Predefinições", u"Divisor", u"Carregar", u"Salvar", u"Equalização", u"Limiar",
      u"Equalizar", u"Histograma", u"Cinza", u"Luz",
      // 30
      u"Esquerda", u"Superior", u"Largura", u"Altura", u"Cor", u"Quantidade da imagem original",
      u"Lente", u"Refração", u"Visualização dos parâmetros", u"Qualidade",
      // 40
      u"Método DCT", u"Fator de suavização", u"Escala de cinza", u"Huffman otimizado",
      u"Tamanho original", u"Tamanho compactado", u"Avançado", u"Progressivo", u"Compactação",
      u"Índice da imagem",
      // 50
      u"Fotométrica", u"Informações do documento digitalizado", u"Nome", u"Descrição",
      u"Nome da página", u"Número da página", u"de", u"Posição horiz. (pol.)",
      u"Posição vert. (pol.)", u"Cores",
      // 60
      u"Transparente", u"Cor transparente", u"Entrelaçado", u"Fundo", u"Posição horiz.",
      u"Posição vert.", u"Tempo de atraso", u"Filtro", u"Onda", u"Amplitude",
      // 70
      u"Comprimento de onda", u"Fase", u"Reflexivo", u"Filtro do usuário", u"Filtros morfológicos",
      u"Tamanho da janela", u"Máximo", u"Mínimo", u"Abertura", u"Fechamento",
      // 80
      u"Girar", u"Espelhar", u"Horizontal", u"Vertical", u"Imagem no domínio da frequência",
      u"Selecione a região a limpar", u"Limpar", u"Redefinir", u"Animar", u"Carregar filtro",
      // 90
      u"Salvar filtro", u"Mapa de relevo", u"Imprimir", u"Margens", u"polegadas", u"Direita",
      u"Inferior", u"Posição", u"Tamanho", u"Normal",
      // 100
      u"Ajustar à página", u"Esticar na página", u"Tamanho especificado", u"Correção de gama",
      u"Valor", u"Configurar impressão", u"Margem esquerda", u"Margem superior",
      u"Margem direita", u"Margem inferior",
      // 110
      u"Posição/tamanho", u"Superior esquerdo", u"Superior central", u"Superior direito",
      u"Centro esquerdo", u"Centro", u"Centro direito", u"Inferior esquerdo", u"Inferior central",
      u"Inferior direito",
      // 120
      u"Fechar", u"Aplicar", u"Unidades de medida", u"Unidades", u"Taxa", u"Todos os gráficos",
      u"Video for Windows", u"Arquivo", u"Memória",
      u"Atualiza automaticamente a visualização com as alterações selecionadas",
      // 130
      u"Imprimir tudo", u"Imprimir selecionados", u"Arquivos gráficos comuns",
      u"Todos os arquivos", u"HSV", u"HSL", u"RGB", u"FFT", u"Nitidez", u"Canais",
      // 140
      u"Opções", u"Extensão em minúsculas", u"pixel", u"quadros", u"bit", u"byte", u"dpi", u"KB",
      u"Ajustar",
  };
  static_assert(std::size(kTexts) == IEMessageCount);
  IEFillMessageRow(msPortuguese, kTexts);
}
