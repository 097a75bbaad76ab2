SELECT COLONNE.name  AS COLUMN_NAME, 
       COLONNE.xtype AS COLUMN_TYPE , 
       TIPI.Name     AS COLUMN_TYPE_NAME 
FROM sys.tables AS TABELLE WITH (NOLOCK) 
INNER JOIN sys.syscolumns AS COLONNE WITH (NOLOCK) 
ON  COLONNE.id = TABELLE.object_id 
INNER JOIN sys.types AS TIPI WITH (NOLOCK) 
ON TIPI.system_type_id = COLONNE.xtype AND 
   TIPI.user_type_id   = COLONNE.xusertype 
WHERE TABELLE.name = 'ie9x_tipi' AND 
      COLONNE.name NOT IN ('IE9X_ID') 
ORDER BY COLONNE.colorder 