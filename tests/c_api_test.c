/* The containers from C99, through their functions, inline readers and
 * class slots: 0 when all holds, else the number of the check that failed. */
#include <stdlib.h>

#include "generics.h"
#include "util.h"

int CApi_Containers(void)
{
    EventObject event = {&EventObject_Table, (void *)0x10};
    Vector *owning = ObjectVector_New();
    Map *map = Map_New(0);
    int failed = 0;

    *(EventObject *)Vector_Append(owning, malloc(sizeof event)) = event; /* made and handed over at once */
    MAP_FTBL(map)->Put(map, &event, Vector_GetAt(owning, 0));
    if (!VECTOR_FTBL(owning)->Contains(owning, &event))
        failed = 1;
    if (Map_Get(map, &event) != Vector_GetAt(owning, Vector_Length(owning) - 1))
        failed = 2;
    Map_Destroy(map);
    Vector_Destroy(owning);
    return failed;
}
