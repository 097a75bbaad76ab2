INSERT INTO IE98_NSO_LOGERRORS   VALUES ( 1, 0, 0, 12, null, 3, 1, 'Routine: LoadRecorsetData
VB error: 13 Type mismatch
Source: KVAD_NSO
ADO Error: no such table: KVAD_SCHEMA_VERSIONSource: KVAD_NSO.SQLiteSQL State: 42000') 