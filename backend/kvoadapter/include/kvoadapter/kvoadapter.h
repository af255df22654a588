/// \file
/// Every public header of the kvoadapter library.
#ifndef KVOADAPTER_KVOADAPTER_H
#define KVOADAPTER_KVOADAPTER_H

#include "kvoadapter/KVOCaseValueReader.h"
#include "kvoadapter/KVOCatVarAdapter.h"
#include "kvoadapter/KVOCommonDisplay.h"
#include "kvoadapter/KVOContVarAdapter.h"
#include "kvoadapter/KVODataFileIter.h"
#include "kvoadapter/KVODocumentStrings.h"
#include "kvoadapter/KVOExport.h"
#include "kvoadapter/KVOInpAdaptMsg.h"
#include "kvoadapter/KVOInputAdapter.h"
#include "kvoadapter/KVOMatrixSpecAdapter.h"
#include "kvoadapter/KVOMatrixSpecs.h"
#include "kvoadapter/KVOPartitionAdapter.h"
#include "kvoadapter/KVOProcDataSourceIter.h"
#include "kvoadapter/KVOStopProcessor.h"
#include "kvoadapter/KVOStopProcessor2.h"
#include "kvoadapter/KVOThreadFactory.h"
#include "kvoadapter/KVOThreadLock.h"
#include "kvoadapter/KVOThreadPool.h"
#include "kvoadapter/KVOTransformScorer.h"
#include "kvoadapter/KVOUniformRandom.h"
#include "kvoadapter/KVOVarListMetaData.h"
#include "kvoadapter/KVOVarValidSpecs.h"
#include "kvoadapter/KVOVariableDesc.h"

#endif  // KVOADAPTER_KVOADAPTER_H
