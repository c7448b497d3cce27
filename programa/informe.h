#pragma once

#include <QString>

#include "generation/comprobacion.h"

// The check of a CD (--comprobar) written out.
namespace programa {

// The report for people, on standard output; false when it could not be written.
bool Informe(const QString& carpetaCd, const generacion::ComprobacionCd& cd);

// The same, for machines: JSON, as tests/e2e/comprobacion.schema.json describes it.
bool InformeJson(const QString& carpetaCd, const generacion::ComprobacionCd& cd);

}  // namespace programa
