// Spanish captions of the imaging dialogs.
#include "imaging/core/messages/iemessages_rows.h"

void IEFillSpanishMessages() {
  static const char16_t* const kTexts[] = {
      u"Zoom", u"Vista previa", u"Original", u"Resultado", u"Aceptar", u"Cancelar",
      u"Bloquear vista previa", u"Copiar resultado al original", u"Contraste", u"Brillo",
      // 10
      u"Tono", u"Saturación", u"Valor", u"Color base", u"Color nuevo", u"Luminancia", u"Rojo",
      u"Verde", u"Azul", u"Valores del filtro",
      // 20
      u"Valores predefinidos", u"Divisor", u"Cargar", u"Guardar", u"Ecualización", u"Umbral",
      u"Ecualizar", u"Histograma", u"Gris", u"Luz",
      // 30
      u"Izquierda", u"Arriba", u"Ancho", u"Alto", u"Color", u"Cantidad de imagen original",
      u"Lente", u"Refracción", u"Vista previa de parámetros", u"Calidad",
      // 40
      u"Método DCT", u"Factor de suavizado", u"Escala de grises", u"Huffman óptimo",
      u"Tamaño original", u"Tamaño comprimido", u"Avanzado", u"Progresivo", u"Compresión",
      u"Índice de imagen",
      // 50
      u"Fotométrica", u"Información del documento escaneado", u"Nombre", u"Descripción",
      u"Nombre de página", u"Número de página", u"de", u"Posición horiz. (pulgadas)",
      u"Posición vert. (pulgadas)", u"Colores",
      // 60
      u"Transparente", u"Color transparente", u"Entrelazado", u"Fondo", u"Posición horiz.",
      u"Posición vert.", u"Tiempo de retardo", u"Filtro", u"Onda", u"Amplitud",
      // 70
      u"Longitud de onda", u"Fase", u"Reflectante", u"Filtro de usuario", u"Filtros morfológicos",
      u"Tamaño de ventana", u"Máximo", u"Mínimo", u"Apertura", u"Cierre",
      // 80
      u"Girar", u"Voltear", u"Horizontal", u"Vertical", u"Imagen en el dominio de la frecuencia",
      u"Seleccione la región que desea limpiar", u"Borrar", u"Restablecer", u"Animar",
      u"Cargar filtro",
      // 90
      u"Guardar filtro", u"Mapa de relieve", u"Imprimir", u"Márgenes", u"pulgadas", u"Derecha",
      u"Abajo", u"Posición", u"Tamaño", u"Normal",
      // 100
      u"Ajustar a la página", u"Estirar a la página", u"Tamaño especificado", u"Corrección gamma",
      u"Valor", u"Configurar impresión", u"Margen izquierdo", u"Margen superior",
      u"Margen derecho", u"Margen inferior",
      // 110
      u"Posición/tamaño", u"Arriba a la izquierda", u"Arriba al centro", u"Arriba a la derecha",
      u"Centro a la izquierda", u"Centro", u"Centro a la derecha", u"Abajo a la izquierda",
      u"Abajo al centro", u"Abajo a la derecha",
      // 120
      u"Cerrar", u"Aplicar", u"Unidades de medida", u"Unidades", u"Tasa", u"Todos los gráficos",
      u"Video for Windows", u"Archivo", u"Memoria",
      u"Actualiza automáticamente la vista previa con los cambios seleccionados",
      // 130
      u"Imprimir todo", u"Imprimir selección", u"Archivos gráficos comunes",
      u"Todos los archivos", u"HSV", u"HSL", u"RGB", u"FFT", u"Enfocar", u"Canales",
      // 140
      u"Opciones", u"Extensión en minúsculas", u"píxel", u"fotogramas", u"bit", u"byte", u"ppp",
      u"KB", u"Ajustar",
  };
  static_assert(std::size(kTexts) == IEMessageCount);
  IEFillMessageRow(msSpanish, kTexts);
}
